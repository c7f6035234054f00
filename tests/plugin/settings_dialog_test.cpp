// The settings file end to end: the built DLL loaded by the test host, its
// real dialog driven by the host, and its application-data folder moved to a
// scratch folder by patching the DLL's own shell imports.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "resources/resource_ids.h"
#include "tests/plugin/settings_fixtures.h"
#include "tests/support/host_harness.h"

namespace {

class SettingsThroughDialog : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(host_.dll()) << "LoadLibrary(tovanrel.dll) failed";
        shell_.reset(new ShellFolderPatch(scratch_.path(), host_.module()));
        ASSERT_TRUE(shell_->active()) << "the DLL does not import the shell functions it should";
        makerFolder_ = scratch_.path() + "\\Brackwater Studio";
        settingsFile_ = makerFolder_ + "\\Tovanrel.ini";
    }
    void makeMakerFolder() { ASSERT_TRUE(CreateDirectoryA(makerFolder_.c_str(), nullptr)); }

    // Opens the dialog, notes what the four edits show, and cancels.
    std::string editsAtStart()
    {
        std::string shown;
        host_.then([&shown](HWND dialog) {
                 shown = TestHost::ItemText(dialog, IDC_WIDTH) + " " + TestHost::ItemText(dialog, IDC_HEIGHT) + " " +
                         TestHost::ItemText(dialog, IDC_START_NUMBER) + " " + TestHost::ItemText(dialog, IDC_DELAY);
             })
            .press(IDCANCEL);
        EXPECT_EQ(host_.doBuild(), 1);
        EXPECT_FALSE(host_.timedOut());
        return shown;
    }

    TestHost host_;
    ScratchFolder scratch_;
    std::unique_ptr<ShellFolderPatch> shell_;
    std::string makerFolder_, settingsFile_;
};

TEST_F(SettingsThroughDialog, DefaultsWithoutAFile)
{
    EXPECT_EQ(editsAtStart(), "64 64 9 80");
    host_.setPaletteOutput(true);
    EXPECT_EQ(editsAtStart(), "64 64 9 8");
    makeMakerFolder();
    EXPECT_EQ(editsAtStart(), "64 64 9 8");
    EXPECT_TRUE(host_.messages().empty());
    EXPECT_FALSE(FileExists(settingsFile_)) << "Cancel saved the settings";
}

TEST_F(SettingsThroughDialog, StoredValuesAreClampedToTheDialogsRanges)
{
    makeMakerFolder();
    WriteWholeFile(settingsFile_, "[PlugIn]\r\nScreenWidth=1000\r\nScreenDepth=10\r\nStartNumber=abc\r\nDelay=500\r\n");
    host_.setPaletteOutput(true);
    EXPECT_EQ(editsAtStart(), "256 64 1 100");
    host_.setPaletteOutput(false);
    EXPECT_EQ(editsAtStart(), "256 64 1 500");
    WriteWholeFile(settingsFile_, "[PlugIn]\r\nDelay=80\r\nStartNumber=3\r\n");
    host_.setPaletteOutput(true);
    EXPECT_EQ(editsAtStart(), "64 64 3 80");
}

TEST_F(SettingsThroughDialog, OkWritesTheFourKeysAndTheyComeBack)
{
    makeMakerFolder();
    host_.setSettings(200, 150, 5, 40).press(IDOK);
    EXPECT_EQ(host_.doBuild(), 1);
    ASSERT_FALSE(host_.timedOut());
    EXPECT_EQ(host_.dialogResult(), 1);
    EXPECT_TRUE(host_.messages().empty()) << host_.messages().front().text;
    EXPECT_EQ(ReadWholeFile(settingsFile_),
              "[PlugIn]\r\nScreenWidth=200\r\nScreenDepth=150\r\nDelay=40\r\nStartNumber=5\r\n");
    EXPECT_EQ(editsAtStart(), "200 150 5 40");
    EXPECT_EQ(shell_->liveItemLists(), 0u);
    EXPECT_EQ(shell_->heldAllocators(), 0);
}

TEST_F(SettingsThroughDialog, OkSavesClampedValuesEvenWhenTheHostRefusesTheFile)
{
    makeMakerFolder();
    host_.refuse(1);
    host_.setSettings(999, 0, 5, 40).setEdit(IDC_DELAY, "").press(IDOK);
    EXPECT_EQ(host_.doBuild(), 1);
    EXPECT_EQ(host_.dialogResult(), 1);
    ASSERT_EQ(host_.messages().size(), 1u);
    EXPECT_EQ(ReadWholeFile(settingsFile_),
              "[PlugIn]\r\nScreenWidth=256\r\nScreenDepth=64\r\nDelay=1\r\nStartNumber=5\r\n");
}

TEST_F(SettingsThroughDialog, CancelAndTestWriteNothing)
{
    makeMakerFolder();
    host_.setSettings(64, 64, 1, 40).press(IDC_TEST).press(IDCANCEL);
    EXPECT_EQ(host_.doBuild(), 1);
    ASSERT_FALSE(host_.timedOut());
    EXPECT_EQ(host_.dialogResult(), 0);
    EXPECT_EQ(host_.callsOf(5).size(), 1u) << "the Test build did not run";
    EXPECT_EQ(host_.callsOf(4).size(), 1u);
    EXPECT_FALSE(FileExists(settingsFile_));
}

TEST_F(SettingsThroughDialog, MissingFolderWritesNothingAndSaysNothing)
{
    host_.setSettings(200, 150, 5, 40).press(IDOK);
    EXPECT_EQ(host_.doBuild(), 1);
    EXPECT_EQ(host_.dialogResult(), 1);
    EXPECT_TRUE(host_.messages().empty()) << host_.messages().front().text;
    EXPECT_FALSE(FileExists(makerFolder_)) << "the plug-in created the maker's folder";
}

TEST_F(SettingsThroughDialog, NoApplicationDataFolderReadsAndWritesNothing)
{
    shell_->failLocation(true);
    ProfileCallLog log(host_.module());
    ASSERT_TRUE(log.active());
    host_.setSettings(200, 150, 5, 40).press(IDOK);
    EXPECT_EQ(host_.doBuild(), 1);
    EXPECT_EQ(host_.dialogResult(), 1);
    EXPECT_TRUE(host_.messages().empty());
    EXPECT_TRUE(log.reads.empty());
    EXPECT_TRUE(log.writes.empty());
    EXPECT_GE(shell_->locationCalls(), 8);  // four reads and four writes asked for the folder
}

}  // namespace
