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
        BadLine{{"--unattended", "--width", "12x"},
                "option --width needs a whole number from -2147483648 to 2147483647, not '12x'"},
        BadLine{{"--unattended", "--delay", "99999999999"},
                "option --delay needs a whole number from -2147483648 to 2147483647, not '99999999999'"},
        BadLine{{"--refuse-frame", "0"},
                "option --refuse-frame needs a whole number from 1 to 2147483647, not '0'"},
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
    EXPECT_EQ(options.width, 100);
    EXPECT_EQ(options.height, 90);
    EXPECT_EQ(options.startNumber, 3);
    EXPECT_EQ(options.delay, -5);  // out-of-range values are the plug-in's to clamp
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
    EXPECT_EQ(options.width, 64);
    EXPECT_EQ(options.height, 64);
    EXPECT_EQ(options.startNumber, 9);
    EXPECT_EQ(EffectiveDelay(options), 8);
    options.paletteImages = false;
    EXPECT_EQ(EffectiveDelay(options), 80);
    EXPECT_EQ(options.press, DialogButton::Ok);
}

}  // namespace
