// The dialog driven through the test host: start-up, ranges, Help, Cancel,
// the missing-callback path and what the preview shows.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "image/packed_dib.h"
#include "render/frame_pipeline.h"
#include "resources/resource_ids.h"
#include "tests/render/dib_surface.h"
#include "tests/support/host_harness.h"

namespace {

const UINT kMessageBoxType = MB_OK | MB_ICONINFORMATION;

TEST(SettingsDialog, CancelEndsWithZeroAndBuildsNothing)
{
    TestHost host;
    ASSERT_TRUE(host.dll());
    host.wait(3).press(IDCANCEL);
    EXPECT_EQ(host.doBuild(), 1);
    EXPECT_EQ(host.dialogResult(), 0);
    EXPECT_FALSE(host.timedOut());
    EXPECT_TRUE(host.calls().empty());
    EXPECT_TRUE(host.messages().empty());
    // Run modally from the plug-in's own template 1000, owned by the host window.
    EXPECT_EQ(host.dialogOwner(), host.hostWindow());
    EXPECT_EQ(host.dialogInstance(), host.module());
    EXPECT_EQ(host.dialogTemplate(), MAKEINTRESOURCEA(IDD_SETTINGS));
}

TEST(SettingsDialog, ClickingCancelButtonEndsTheDialog)
{
    TestHost host;
    host.click(IDCANCEL);
    EXPECT_EQ(host.doBuild(), 1);
    EXPECT_EQ(host.dialogResult(), 0);
    EXPECT_FALSE(host.timedOut());
}

// A null callback and a null HostContext pointer end the same way: one
// "Internal error" message, result 0, no host operation at all.
TEST(SettingsDialog, MissingCallbackOrContextIsAnInternalError)
{
    for (bool nullContext : {false, true}) {
        TestHost host;
        host.context().callback = nullptr;
        host.press(IDOK);  // must never run
        EXPECT_EQ(nullContext ? host.doBuild(nullptr) : host.doBuild(), 1) << nullContext;
        EXPECT_EQ(host.dialogResult(), 0) << nullContext;
        EXPECT_TRUE(host.calls().empty()) << nullContext;
        ASSERT_EQ(host.messages().size(), 1u) << nullContext;
        const ShownMessage& m = host.messages()[0];
        EXPECT_EQ(m.text, "Internal error");
        EXPECT_EQ(m.caption, "Message");
        EXPECT_EQ(m.type, kMessageBoxType);
        EXPECT_TRUE(m.foundByCaption);
        EXPECT_EQ(m.windowText, "Internal error");
        EXPECT_NE(m.owner, nullptr);
        EXPECT_NE(m.owner, host.hostWindow());
        EXPECT_EQ(host.unrunSteps(), 1u) << "the dialog must end before any command";
    }
}

struct DelayRangeCase {
    bool palette;
    const char* caption;
    const char* defaultText;
};

class DelayRange : public ::testing::TestWithParam<DelayRangeCase> {};

TEST_P(DelayRange, CaptionAndDefaultFollowTheOutputFlag)
{
    const DelayRangeCase& c = GetParam();
    TestHost host;
    host.setPaletteOutput(c.palette);
    std::string spin, delay, width, height, start;
    host.then([&](HWND dialog) {
            spin = TestHost::ItemText(dialog, IDC_DELAY_SPIN);
            delay = TestHost::ItemText(dialog, IDC_DELAY);
            width = TestHost::ItemText(dialog, IDC_WIDTH);
            height = TestHost::ItemText(dialog, IDC_HEIGHT);
            start = TestHost::ItemText(dialog, IDC_START_NUMBER);
        })
        .press(IDCANCEL);
    host.doBuild();
    EXPECT_EQ(spin, c.caption);
    EXPECT_EQ(delay, c.defaultText);
    EXPECT_EQ(width, "64");
    EXPECT_EQ(height, "64");
    EXPECT_EQ(start, "9");
}

INSTANTIATE_TEST_SUITE_P(OutputFlag, DelayRange,
                         ::testing::Values(DelayRangeCase{true, "1,100,8", "8"},
                                           DelayRangeCase{false, "1,1000,80", "80"}));

TEST(SettingsDialog, DialogIsCentredOnTheScreen)
{
    TestHost host;
    RECT r = {};
    host.then([&](HWND dialog) { GetWindowRect(dialog, &r); }).press(IDCANCEL);
    host.doBuild();
    EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left)) / 2);
    EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - (r.bottom - r.top)) / 2);
}

TEST(SettingsDialog, HelpAsksTheHostAndReportsARefusal)
{
    TestHost host;
    host.refuse(HostOpShowHelp, 2);
    host.press(IDC_HELP_BUTTON).press(IDC_HELP_BUTTON).press(IDCANCEL);
    host.doBuild();
    EXPECT_EQ(host.operations(), (std::vector<int32_t>{9, 9}));
    for (const HostCall* c : host.callsOf(HostOpShowHelp)) {
        EXPECT_EQ(c->text(), "TOVANREL.HTML");
        EXPECT_EQ(c->fileObject, nullptr);
        EXPECT_EQ(c->value, 0);
    }
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(host.messages()[0].text, "There has been an error accessing the Help for this plugin.");
    EXPECT_EQ(host.messages()[0].caption, "Message");
    EXPECT_EQ(host.messages()[0].type, kMessageBoxType);
    EXPECT_EQ(host.messages()[0].callsBefore, 2u);
    EXPECT_EQ(host.dialogResult(), 0);
}

}  // namespace

namespace {

// The preview is painted on the timer: a one-pixel border in the button-shadow
// colour round the frame, even while the pipeline makes no frame.
TEST(SettingsDialog, PreviewIsFramedInTheShadowColour)
{
    TestHost host;
    COLORREF corner = CLR_INVALID, edge = CLR_INVALID;
    RECT client = {};
    host.wait(10)
        .then([&](HWND dialog) {
            HWND preview = GetDlgItem(dialog, IDC_PREVIEW);
            UpdateWindow(preview);
            GetClientRect(preview, &client);
            HDC dc = GetDC(preview);
            corner = GetPixel(dc, 0, 0);
            edge = GetPixel(dc, client.right - 1, client.bottom / 2);
            ReleaseDC(preview, dc);
        })
        .press(IDCANCEL);
    host.doBuild();
    EXPECT_GT(client.right, 2);
    EXPECT_EQ(corner, GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(edge, GetSysColor(COLOR_BTNSHADOW));
}

// Inside the border the preview shows the frame the pipeline makes for the
// preview's countdown, pixel for pixel: a plain copy of the block at the
// area's top-left corner, at its own size.
TEST(SettingsDialog, PreviewShowsThePipelinesFrame)
{
    SKIP_WITHOUT_PIPELINE();
    TestHost host;
    RECT client = {};
    std::vector<uint8_t> shown;
    host.then([&](HWND dialog) {
            HWND preview = GetDlgItem(dialog, IDC_PREVIEW);
            InvalidateRect(preview, nullptr, FALSE);
            UpdateWindow(preview);
            GetClientRect(preview, &client);
            const int width = client.right - 2, height = client.bottom - 2;
            DibSurface copy(width, height);
            HDC dc = GetDC(preview);
            BitBlt(copy.dc(), 0, 0, width, height, dc, 1, 1, SRCCOPY);
            ReleaseDC(preview, dc);
            shown.assign(copy.bits(), copy.bits() + copy.bytes());
        })
        .press(IDCANCEL);
    host.doBuild();
    ASSERT_FALSE(shown.empty());
    const int width = client.right - 2, height = client.bottom - 2;
    // The preview counts down from 9: one of the first frames is shown.
    bool found = false;
    for (int32_t angle = 360; angle > 0 && !found; angle -= 6) {
        FrameRequest request;
        request.rect = {0, 0, width, height};
        request.resetNumber = 9;
        LeaderCounter counter = {9, angle};
        GlobalBlock frame(RenderLeaderFrame(nullptr, request, counter).block.release());
        ASSERT_TRUE(frame);
        LockedDib dib(frame.get());
        found = std::memcmp(DibPixelBits(dib.header()), shown.data(), shown.size()) == 0;
    }
    EXPECT_TRUE(found) << "the preview shows none of the countdown's first frames";
}

}  // namespace
