// The settings file: the bounded string helpers, the path in the maker's
// folder under the application-data folder (moved to a scratch folder by
// patching this program's shell imports), and loading and saving the
// dialog's edits on a window with real edits and up-downs, checked against
// the bytes the profile functions leave in the file.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "plugin/settings_file.h"
#include "tests/plugin/settings_fixtures.h"

namespace {

constexpr size_t kLimit = 260;
constexpr char kGuard = '\x5A';

std::string Chars(size_t count, char first = 'a')
{
    std::string text;
    for (size_t i = 0; i < count; ++i) text += static_cast<char>(first + i % 26);
    return text;
}

struct CopyCase {
    size_t sourceLength;
    size_t limit;
};

class BoundedCopyTest : public testing::TestWithParam<CopyCase> {};

TEST_P(BoundedCopyTest, CopiesAtMostLimitCharacters)
{
    const CopyCase& c = GetParam();
    const std::string source = Chars(c.sourceLength);
    std::vector<char> buffer(c.limit + 1 + 16, kGuard);
    EXPECT_EQ(BoundedCopy(buffer.data(), source.c_str(), c.limit), buffer.data());
    EXPECT_EQ(std::string(buffer.data()), source.substr(0, c.limit)) << "source " << c.sourceLength;
    for (size_t i = c.limit + 1; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], kGuard) << "byte " << i << " overwritten";
}

INSTANTIATE_TEST_SUITE_P(Cases, BoundedCopyTest, testing::Values(
    CopyCase{0, kLimit}, CopyCase{1, kLimit}, CopyCase{259, kLimit}, CopyCase{260, kLimit}, CopyCase{261, kLimit},
    CopyCase{300, kLimit}, CopyCase{5, 0}, CopyCase{0, 0}));

struct AppendCase {
    size_t destinationLength;
    size_t sourceLength;
    size_t limit;
};

class BoundedAppendTest : public testing::TestWithParam<AppendCase> {};

TEST_P(BoundedAppendTest, FillsUpToLimitCharacters)
{
    const AppendCase& c = GetParam();
    const std::string start = Chars(c.destinationLength, 'A');
    const std::string source = Chars(c.sourceLength);
    // Room for the longer of limit + 1 and the starting text, then guards.
    std::vector<char> buffer(std::max(c.limit + 1, start.size() + 1) + 16, kGuard);
    std::memcpy(buffer.data(), start.c_str(), start.size() + 1);
    const size_t end = std::max(c.limit + 1, start.size() + 1);

    EXPECT_EQ(BoundedAppend(buffer.data(), source.c_str(), c.limit), buffer.data());
    std::string expected = start;
    if (start.size() < c.limit) expected += source.substr(0, c.limit - start.size());
    EXPECT_EQ(std::string(buffer.data()), expected)
        << "destination " << c.destinationLength << ", source " << c.sourceLength << ", limit " << c.limit;
    for (size_t i = end; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], kGuard) << "byte " << i << " overwritten";
    if (start.size() >= c.limit) {
        // Unchanged: not even a terminator rewritten past the old text.
        for (size_t i = start.size() + 1; i < end; ++i) ASSERT_EQ(buffer[i], kGuard) << "byte " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, BoundedAppendTest, testing::Values(
    AppendCase{0, 10, kLimit}, AppendCase{100, 100, kLimit}, AppendCase{100, 200, kLimit},
    AppendCase{259, 5, kLimit}, AppendCase{260, 5, kLimit}, AppendCase{270, 5, kLimit}, AppendCase{0, 300, kLimit},
    AppendCase{250, 0, kLimit}, AppendCase{0, 3, 0}));

const std::string kMakerFolderAndFile = "Brackwater Studio\\Tovanrel.ini";

TEST(AppDataFilePath, AddsTheMakersFolderAndTheFileName)
{
    struct {
        std::string folder, expected;
    } cases[] = {
        {"C:\\users\\someone\\AppData\\Roaming", "C:\\users\\someone\\AppData\\Roaming\\" + kMakerFolderAndFile},
        // Already ending in a backslash: no second one.
        {"C:\\", "C:\\" + kMakerFolderAndFile},
        {"D:\\data\\", "D:\\data\\" + kMakerFolderAndFile},
    };
    for (const auto& c : cases) {
        ShellFolderPatch shell(c.folder);
        ASSERT_TRUE(shell.active());
        EXPECT_EQ(std::string(AppDataFilePath("Tovanrel.ini")), c.expected);
        EXPECT_EQ(shell.liveItemLists(), 0u) << "item list not freed through the shell allocator";
        EXPECT_EQ(shell.heldAllocators(), 0) << "shell allocator not released";
    }
}

TEST(AppDataFilePath, IsCutAtTheLimit)
{
    const std::string folder = "C:\\" + Chars(240);
    ShellFolderPatch shell(folder);
    const std::string full = folder + "\\" + kMakerFolderAndFile;
    const std::string path = AppDataFilePath("Tovanrel.ini");
    EXPECT_EQ(path, full.substr(0, kLimit));
    EXPECT_EQ(shell.liveItemLists(), 0u);
}

TEST(AppDataFilePath, IsEmptyWhenTheFolderCannotBeLocated)
{
    ShellFolderPatch shell("C:\\somewhere");
    AppDataFilePath("Tovanrel.ini");  // leaves a path in the module-wide buffer

    shell.failLocation(true);
    EXPECT_STREQ(AppDataFilePath("Tovanrel.ini"), "");
    EXPECT_EQ(shell.pathCalls(), 1);  // only the first call got that far

    shell.failLocation(false);
    shell.failPath(true);
    EXPECT_STREQ(AppDataFilePath("Tovanrel.ini"), "");
    EXPECT_EQ(shell.liveItemLists(), 0u) << "item list leaked when it named no path";
    EXPECT_EQ(shell.heldAllocators(), 0);

    shell.failPath(false);
    shell.setFolder("");
    EXPECT_STREQ(AppDataFilePath("Tovanrel.ini"), "");
    EXPECT_EQ(shell.liveItemLists(), 0u);
}

TEST(AppDataFilePath, UsesThePlatformsApplicationDataFolder)
{
    char folder[MAX_PATH] = "";
    ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, 0, folder), S_OK);
    std::string expected = folder;
    if (expected.back() != '\\') expected += '\\';
    EXPECT_EQ(std::string(AppDataFilePath("Tovanrel.ini")), expected + kMakerFolderAndFile);
}

// A scratch application-data folder, with or without the maker's folder.
class SettingsFileTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(shell_.active());
        makerFolder_ = scratch_.path() + "\\Brackwater Studio";
        settingsFile_ = makerFolder_ + "\\Tovanrel.ini";
    }
    void makeMakerFolder() { ASSERT_TRUE(CreateDirectoryA(makerFolder_.c_str(), nullptr)); }

    ScratchFolder scratch_;
    ShellFolderPatch shell_{scratch_.path()};
    std::string makerFolder_, settingsFile_;
};

TEST_F(SettingsFileTest, WritesAndReadsSectionPlugIn)
{
    makeMakerFolder();
    WritePluginSetting("Tovanrel", "ScreenWidth", "200");
    WritePluginSetting("Tovanrel", "Delay", "40");
    EXPECT_EQ(ReadWholeFile(settingsFile_), "[PlugIn]\r\nScreenWidth=200\r\nDelay=40\r\n");

    char buffer[260];
    EXPECT_EQ(ReadPluginSetting("Tovanrel", "ScreenWidth", buffer, sizeof buffer), 3);
    EXPECT_STREQ(buffer, "200");
    EXPECT_EQ(ReadPluginSetting("Tovanrel", "StartNumber", buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
    // Another code is another file.
    EXPECT_EQ(ReadPluginSetting("Other", "ScreenWidth", buffer, sizeof buffer), 0);
    EXPECT_EQ(shell_.liveItemLists(), 0u);
    EXPECT_EQ(shell_.heldAllocators(), 0);
}

TEST_F(SettingsFileTest, MissingMakerFolderIsNotCreated)
{
    WritePluginSetting("Tovanrel", "ScreenWidth", "200");
    EXPECT_FALSE(FileExists(makerFolder_));
    char buffer[260] = "stale";
    EXPECT_EQ(ReadPluginSetting("Tovanrel", "ScreenWidth", buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
}

TEST_F(SettingsFileTest, NothingIsReadOrWrittenWithoutAUsablePath)
{
    makeMakerFolder();
    WriteWholeFile(settingsFile_, "[PlugIn]\r\nScreenWidth=200\r\n");
    ProfileCallLog log;
    ASSERT_TRUE(log.active());
    char buffer[260] = "stale";

    shell_.failLocation(true);  // no application-data folder: an empty path
    WritePluginSetting("Tovanrel", "ScreenWidth", "100");
    EXPECT_EQ(ReadPluginSetting("Tovanrel", "ScreenWidth", buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");

    shell_.failLocation(false);  // a path cut at 260 characters names another file
    shell_.setFolder("C:\\" + Chars(235));
    WritePluginSetting("Tovanrel", "ScreenWidth", "100");
    EXPECT_EQ(ReadPluginSetting("Tovanrel", "ScreenWidth", buffer, sizeof buffer), 0);

    EXPECT_TRUE(log.reads.empty()) << log.reads.front();
    EXPECT_TRUE(log.writes.empty()) << log.writes.front();
    EXPECT_EQ(shell_.liveItemLists(), 0u);

    // A path that fits whole is used (259 characters: the most a file path
    // may have with the platform's 260-byte limit including its terminator).
    const size_t folderLength = kLimit - 1 - 1 - kMakerFolderAndFile.size();
    const std::string folder = scratch_.path() + "\\" + Chars(folderLength - scratch_.path().size() - 1);
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((folder + "\\Brackwater Studio").c_str(), nullptr));
    shell_.setFolder(folder);
    WritePluginSetting("Tovanrel", "ScreenWidth", "100");
    ASSERT_EQ(log.writes.size(), 1u);
    EXPECT_EQ(log.writes[0].size() - log.writes[0].find('@') - 1, kLimit - 1);
    EXPECT_EQ(ReadWholeFile(folder + "\\" + kMakerFolderAndFile), "[PlugIn]\r\nScreenWidth=100\r\n");
}

// The settings dialog's four edits with their ranges and the values the
// dialog starts with.
class DialogSettingsTest : public SettingsFileTest {
protected:
    void SetUp() override
    {
        SettingsFileTest::SetUp();
        ASSERT_NE(window_.handle(), nullptr);
        window_.addItem(101, "64,256,64", "64");
        window_.addItem(102, "64,256,64", "64");
        window_.addItem(103, "1,9,9", "9");
        window_.addItem(106, "1,1000,80", "80");
    }
    std::string edits() const
    {
        return window_.text(101) + " " + window_.text(102) + " " + window_.text(103) + " " + window_.text(106);
    }
    RangedItemsWindow window_;
};

TEST_F(DialogSettingsTest, LoadReadsTheKeysInOrderFromTheFile)
{
    makeMakerFolder();
    WriteWholeFile(settingsFile_, "[PlugIn]\r\nStartNumber=5\r\nDelay=40\r\nScreenWidth=200\r\nScreenDepth=150\r\n");
    ProfileCallLog log;
    ASSERT_TRUE(log.active());
    LoadSettings(window_.handle());
    EXPECT_EQ(edits(), "200 150 5 40");
    const std::string at = "@" + settingsFile_;
    EXPECT_EQ(log.reads, (std::vector<std::string>{"PlugIn/ScreenWidth" + at, "PlugIn/ScreenDepth" + at,
                                                   "PlugIn/StartNumber" + at, "PlugIn/Delay" + at}));
    EXPECT_TRUE(log.writes.empty());
}

struct StoredCase {
    const char* fileText;
    const char* expectedEdits;  // width height start delay
};

class SettingsLoadClamps : public DialogSettingsTest, public testing::WithParamInterface<StoredCase> {};

TEST_P(SettingsLoadClamps, StoredValuesAreClampedToTheirRanges)
{
    makeMakerFolder();
    WriteWholeFile(settingsFile_, GetParam().fileText);
    LoadSettings(window_.handle());
    EXPECT_EQ(edits(), GetParam().expectedEdits) << GetParam().fileText;
}

INSTANTIATE_TEST_SUITE_P(Cases, SettingsLoadClamps, testing::Values(
    StoredCase{"[PlugIn]\r\nScreenWidth=1000\r\nScreenDepth=10\r\n", "256 64 9 80"},
    StoredCase{"[PlugIn]\r\nScreenWidth=abc\r\nStartNumber=-3\r\n", "64 64 1 80"},
    StoredCase{"[PlugIn]\r\nDelay=80\r\n", "64 64 9 80"},
    StoredCase{"[PlugIn]\r\nDelay=5000\r\n", "64 64 9 1000"},
    // Leading number only: blanks and sign, then digits.
    StoredCase{"[PlugIn]\r\nScreenWidth=  +128px\r\nScreenDepth=-0x10\r\nStartNumber=7.9\r\n", "128 64 7 80"},
    // Too big for 32 bits stays too big.
    StoredCase{"[PlugIn]\r\nScreenWidth=99999999999\r\nScreenDepth=-99999999999\r\n", "256 64 9 80"},
    // Empty keys and other sections leave the defaults.
    StoredCase{"[PlugIn]\r\nScreenWidth=\r\n[Other]\r\nScreenDepth=100\r\n", "64 64 9 80"},
    StoredCase{"[plugin]\r\nscreenwidth=100\r\n", "100 64 9 80"}));

TEST_F(DialogSettingsTest, SaveWritesTheFourKeysAsPlainDecimals)
{
    makeMakerFolder();
    window_.setText(101, "200");
    window_.setText(102, "150");
    window_.setText(103, "5");
    window_.setText(106, "40");
    SaveSettings(window_.handle());
    EXPECT_EQ(ReadWholeFile(settingsFile_),
              "[PlugIn]\r\nScreenWidth=200\r\nScreenDepth=150\r\nDelay=40\r\nStartNumber=5\r\n");

    // Saved again with values out of range or unreadable: clamped, same keys.
    window_.setText(101, "");
    window_.setText(102, "999");
    window_.setText(103, "0");
    window_.setText(106, "abc");
    SaveSettings(window_.handle());
    EXPECT_EQ(ReadWholeFile(settingsFile_),
              "[PlugIn]\r\nScreenWidth=64\r\nScreenDepth=256\r\nDelay=1\r\nStartNumber=1\r\n");
    EXPECT_EQ(shell_.liveItemLists(), 0u);
    EXPECT_EQ(shell_.heldAllocators(), 0);
}

}  // namespace
