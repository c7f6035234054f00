// The host's command line: what is accepted, and the one line said about
// what is not.
#include <gtest/gtest.h>

#include <vector>

#include "host/host_options.h"

namespace {

struct BadLine {
    std::vector<const char*> args;
    const char* error;
};

class HostOptionsRefused : public ::testing::TestWithParam<BadLine> {};

TEST_P(HostOptionsRefused, SaysWhy)
{
    std::vector<const char*> argv{"leaderhost"};
    argv.insert(argv.end(), GetParam().args.begin(), GetParam().args.end());
    HostOptions options;
    std::string error;
    EXPECT_FALSE(ParseHostOptions(static_cast<int>(argv.size()), argv.data(), options, error));
    EXPECT_EQ(error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, HostOptionsRefused,
    ::testing::Values(
        BadLine{{"--bogus"}, "unknown option '--bogus' (see --help)"},
        BadLine{{"out.gif"}, "unknown option 'out.gif' (see --help)"},
        BadLine{{"--dll"}, "option --dll needs a value"},
        BadLine{{"--out", ""}, "option --out needs a file name"},
        // Before the plug-in is loaded only the kind of value is known.
        BadLine{{"--unattended", "--width", "12x"}, "option --width needs a whole number, not '12x'"},
        BadLine{{"--unattended", "--start", "-"}, "option --start needs a whole number, not '-'"},
        BadLine{{"--refuse-frame", "0"}, "option --refuse-frame needs a whole number from 1 up, not '0'"},
        // A name that says GIF or AVI decides the format; an option against it is refused.
        BadLine{{"--rgb", "--out", "leader.GIF"},
                "option --rgb asks for 24-bit frames, which go into an AVI, not into leader.GIF"},
        BadLine{{"--out", "C:\\x.y\\leader.avi", "--palette"},
                "option --palette asks for 8-bit frames, which go into a GIF, not into C:\\x.y\\leader.avi"},
        BadLine{{"--unattended", "--press", "OK"},
                "option --press takes ok, test, cancel or help, not 'OK'"},
        BadLine{{"--start", "3"}, "option --start is used only with --unattended"},
        BadLine{{"--picture", "d.bmp"}, "option --picture is used only with --unattended"},
        BadLine{{"--unattended", "--picture", ""}, "option --picture needs a file name"},
        BadLine{{"--press", "test", "--width", "80"}, "option --press is used only with --unattended"}));

TEST(HostOptions, UnattendedRunTakesEveryValue)
{
    const char* argv[] = {"leaderhost", "--dll", "C:\\p\\tovanrel.dll", "--out", "x.avi", "--rgb",
                          "--skin", "2", "--width", "100", "--height", "90", "--start", "3",
                          "--delay", "-5", "--press", "help", "--unattended", "--refuse-frame", "7"};
    HostOptions options;
    std::string error;
    ASSERT_TRUE(ParseHostOptions(sizeof argv / sizeof argv[0], argv, options, error)) << error;
    EXPECT_EQ(options.dllPath, "C:\\p\\tovanrel.dll");
    EXPECT_EQ(options.outputPath, "x.avi");
    EXPECT_FALSE(options.paletteImages);
    EXPECT_EQ(options.skinStyle, 2);
    EXPECT_TRUE(options.unattended);
    EXPECT_EQ(options.width.value, 100);
    EXPECT_EQ(options.height.value, 90);
    EXPECT_EQ(options.startNumber.value, 3);
    EXPECT_EQ(options.delay.value, -5);  // out-of-range values are the plug-in's to clamp
    EXPECT_EQ(EffectiveDelay(options), -5);
    EXPECT_EQ(options.press, DialogButton::Help);
    EXPECT_EQ(options.refuseFrame, 7);
}

TEST(HostOptions, DefaultsAreThePluginsOwn)
{
    const char* argv[] = {"leaderhost", "--unattended"};
    HostOptions options;
    std::string error;
    ASSERT_TRUE(ParseHostOptions(2, argv, options, error));
    EXPECT_TRUE(options.paletteImages);
    EXPECT_EQ(options.width.value, 64);
    EXPECT_EQ(options.height.value, 64);
    EXPECT_EQ(options.startNumber.value, 9);
    EXPECT_EQ(EffectiveDelay(options), 8);
    options.paletteImages = false;
    EXPECT_EQ(EffectiveDelay(options), 80);
    EXPECT_EQ(options.press, DialogButton::Ok);
}

TEST(HostOptions, OnlyAGifOrAviNameOverridesTheFrames)
{
    for (const char* name : {"a.gif.bak", "dir.gif\\leader", "leader"}) {
        const char* argv[] = {"leaderhost", "--rgb", "--out", name};
        HostOptions options;
        std::string error;
        ASSERT_TRUE(ParseHostOptions(4, argv, options, error)) << error;
        EXPECT_FALSE(options.paletteImages) << name;
    }
}

}  // namespace
