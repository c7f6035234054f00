// Skinning real button windows: installation on a parent with the dialog's
// four push buttons, the pressed flag, clicks still reaching the parent, and
// a window's own paint compared with the painters' output.
#include "ui/button_skin.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/resource_watch.h"
#include "tests/ui/skin_test_support.h"

using namespace skin_test;

namespace {

const int kPushButtonIds[] = {IDOK, IDCANCEL, 9, 105};

// What the parent saw.
struct ParentLog {
    std::vector<std::pair<int, int>> commands;  // (control id, notification)
    int drawItems = 0;
    HFONT font = nullptr;  // answered to WM_GETFONT
};
ParentLog g_log;

LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND: g_log.commands.push_back({LOWORD(wParam), HIWORD(wParam)}); return 0;
    case WM_DRAWITEM: ++g_log.drawItems; return FALSE;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(g_log.font);
    default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

// A visible parent with "button" children 1, 2, 9 and 105 (75 x 23 each) and
// a static 104 that is not a push button.
class ButtonParent {
public:
    ButtonParent()
    {
        static const bool registered = [] {
            WNDCLASSA wc = {};
            wc.lpfnWndProc = &ParentProc;
            wc.hInstance = GetModuleHandleA(nullptr);
            wc.lpszClassName = "SkinTestParent";
            wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
            return RegisterClassA(&wc) != 0;
        }();
        (void)registered;
        g_log = ParentLog{};
        g_log.font = CreateFontA(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Arial");
        window_ = CreateWindowA("SkinTestParent", "parent", WS_POPUP | WS_VISIBLE, 10, 10, 200, 160, nullptr,
                                nullptr, GetModuleHandleA(nullptr), nullptr);
        const char* captions[] = {"OK", "Cancel", "&Help", "&Test"};
        for (int i = 0; i < 4; ++i)
            CreateWindowA("button", captions[i],
                          WS_CHILD | WS_VISIBLE | WS_TABSTOP | (i == 0 ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON),
                          110, 5 + 30 * i, 75, 23, window_, reinterpret_cast<HMENU>(INT_PTR(kPushButtonIds[i])),
                          nullptr, nullptr);
        CreateWindowA("static", "", WS_CHILD | WS_VISIBLE, 5, 5, 90, 90, window_, reinterpret_cast<HMENU>(104),
                      nullptr, nullptr);
    }
    ~ButtonParent()
    {
        DestroyWindow(window_);
        DeleteObject(g_log.font);
        g_log.font = nullptr;
    }
    HWND get() const { return window_; }
    HWND button(int id) const { return GetDlgItem(window_, id); }

private:
    HWND window_;
};

struct Snapshot {
    LONG_PTR style;
    LONG_PTR procedure;
};

Snapshot Take(HWND button)
{
    return {GetWindowLongPtrA(button, GWL_STYLE), GetWindowLongPtrA(button, GWLP_WNDPROC)};
}

// Restores the module-wide style whatever a test set.
class SkinStyleScope {
public:
    SkinStyleScope() : saved_(ButtonSkinStyle()) {}
    ~SkinStyleScope() { SetButtonSkinStyle(saved_); }

private:
    int32_t saved_;
};

TEST(SkinButton, StyleZeroChangesNothing)
{
    SkinStyleScope scope;
    ButtonParent parent;
    Snapshot before[4];
    for (int i = 0; i < 4; ++i) before[i] = Take(parent.button(kPushButtonIds[i]));
    ApplyButtonSkin(parent.get(), 0);
    EXPECT_EQ(ButtonSkinStyle(), 0);
    for (int i = 0; i < 4; ++i) {
        const Snapshot after = Take(parent.button(kPushButtonIds[i]));
        EXPECT_EQ(after.style, before[i].style) << "button " << kPushButtonIds[i];
        EXPECT_EQ(after.procedure, before[i].procedure) << "button " << kPushButtonIds[i];
    }
    EXPECT_EQ(SkinButton(parent.get(), IDOK), 0);
}

class SkinInstall : public testing::TestWithParam<int32_t> {};

// Controls whose style changed, in order.
std::vector<int> g_restyled;

LRESULT CALLBACK RecordRestyles(int code, WPARAM wParam, LPARAM lParam)
{
    const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && message->message == WM_STYLECHANGED && message->wParam == WPARAM(GWL_STYLE))
        g_restyled.push_back(GetDlgCtrlID(message->hwnd));
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_P(SkinInstall, MakesTheFourButtonsOwnerDrawnWithTheNewProcedure)
{
    SkinStyleScope scope;
    ButtonParent parent;
    Snapshot before[4];
    for (int i = 0; i < 4; ++i) before[i] = Take(parent.button(kPushButtonIds[i]));
    const Snapshot preview = Take(parent.button(104));

    g_restyled.clear();
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, &RecordRestyles, nullptr, GetCurrentThreadId());
    ApplyButtonSkin(parent.get(), GetParam());
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(ButtonSkinStyle(), GetParam());
    EXPECT_EQ(g_restyled, (std::vector<int>{IDOK, IDCANCEL, 9, 105})) << "skinned in this order";
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(testing::Message() << "button " << kPushButtonIds[i]);
        const Snapshot after = Take(parent.button(kPushButtonIds[i]));
        EXPECT_EQ(after.style, before[i].style | BS_OWNERDRAW);
        EXPECT_EQ(after.style & BS_TYPEMASK, BS_OWNERDRAW);
        EXPECT_EQ(after.procedure, reinterpret_cast<LONG_PTR>(&SkinButtonProc));
    }
    const Snapshot previewAfter = Take(parent.button(104));
    EXPECT_EQ(previewAfter.style, preview.style);
    EXPECT_EQ(previewAfter.procedure, preview.procedure);

    EXPECT_EQ(SkinButton(parent.get(), 77), 0) << "no such child";
    EXPECT_EQ(SkinButton(parent.get(), 104), 1) << "any child with the id is skinned";
}

INSTANTIATE_TEST_SUITE_P(SkinButton, SkinInstall, testing::Values(1, 2, 3, 4, -1));

LONG_PTR UserData(HWND window) { return GetWindowLongPtrA(window, GWLP_USERDATA); }

// The pressed flag is bit 0 of the user data and only left-button down and
// up change it; the button class still turns clicks into commands.
TEST(SkinButtonProc, PressedFlagFollowsTheLeftButtonOnly)
{
    SkinStyleScope scope;
    ButtonParent parent;
    ApplyButtonSkin(parent.get(), 3);
    HWND ok = parent.button(IDOK);
    ASSERT_EQ(UserData(ok), 0);
    SetWindowLongPtrA(ok, GWLP_USERDATA, 0x40);  // other bits are left alone

    SendMessageA(ok, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    EXPECT_EQ(UserData(ok), 0x41);
    SendMessageA(ok, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(UserData(ok), 0x40);
    ASSERT_EQ(g_log.commands.size(), 1u);
    EXPECT_EQ(g_log.commands[0], std::make_pair(IDOK, int(BN_CLICKED)));

    // Space bar: clicked as usual, but no pressed look.
    HWND cancel = parent.button(IDCANCEL);
    SendMessageA(cancel, WM_KEYDOWN, VK_SPACE, 0x00390001);
    EXPECT_EQ(UserData(cancel), 0);
    SendMessageA(cancel, WM_KEYUP, VK_SPACE, 0xC0390001);
    EXPECT_EQ(UserData(cancel), 0);
    ASSERT_EQ(g_log.commands.size(), 2u);
    EXPECT_EQ(g_log.commands[1].first, IDCANCEL);

    // A double-click message does not set the flag.
    HWND test = parent.button(105);
    SendMessageA(test, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5));
    EXPECT_EQ(UserData(test), 0);
    SendMessageA(test, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(UserData(test), 0);
    ReleaseCapture();
}

// Background erases seen by the button under test.
HWND g_watched = nullptr;
int g_erases = 0;

LRESULT CALLBACK CountErases(int code, WPARAM wParam, LPARAM lParam)
{
    const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && message->hwnd == g_watched && message->message == WM_ERASEBKGND) ++g_erases;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST(SkinButtonProc, PressAndReleaseInvalidateWithoutErasing)
{
    SkinStyleScope scope;
    ButtonParent parent;
    ApplyButtonSkin(parent.get(), 1);
    HWND ok = parent.button(IDOK);
    UpdateWindow(parent.get());
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, &CountErases, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    g_watched = ok;
    for (UINT message : {UINT(WM_LBUTTONDOWN), UINT(WM_LBUTTONUP)}) {
        SCOPED_TRACE(testing::Message() << "message " << message);
        UpdateWindow(ok);
        RECT dirty = {};
        ASSERT_FALSE(GetUpdateRect(ok, &dirty, FALSE));
        SendMessageA(ok, message, message == WM_LBUTTONDOWN ? MK_LBUTTON : 0, MAKELPARAM(5, 5));
        EXPECT_TRUE(GetUpdateRect(ok, &dirty, FALSE));
        RECT client;
        GetClientRect(ok, &client);
        EXPECT_TRUE(EqualRect(&dirty, &client));
        g_erases = 0;
        UpdateWindow(ok);
        EXPECT_EQ(g_erases, 0);
    }
    // The hook does see erases: a plain invalidation with erase is counted.
    InvalidateRect(ok, nullptr, TRUE);
    g_erases = 0;
    UpdateWindow(ok);
    EXPECT_EQ(g_erases, 1);
    g_watched = nullptr;
    UnhookWindowsHookEx(hook);
    ReleaseCapture();
}

// A skinned window's paint, read back from the window, is the painter's
// output for the same button: the dialog's font, the client rectangle, the
// pressed flag and the disabled state all reach the painter, and the class
// procedure never sees the paint (no owner-draw request reaches the parent).
struct WindowCase {
    int32_t style;
    int (*painter)(const DRAWITEMSTRUCT*);
    const char* name;
};

class SkinnedWindowPaint : public testing::TestWithParam<WindowCase> {};

TEST_P(SkinnedWindowPaint, IsThePaintersOutput)
{
    const WindowCase& c = GetParam();
    SkinStyleScope scope;
    ButtonParent parent;
    ApplyButtonSkin(parent.get(), c.style);
    UpdateWindow(parent.get());
    HWND test = parent.button(105);

    for (int state = 0; state < 3; ++state) {
        const bool pressed = state == 1, disabled = state == 2;
        SCOPED_TRACE(pressed ? "pressed" : disabled ? "disabled" : "up");
        if (pressed) SendMessageA(test, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        if (disabled) {
            SendMessageA(test, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
            EnableWindow(test, FALSE);
        }
        InvalidateRect(test, nullptr, TRUE);
        g_log.drawItems = 0;
        UpdateWindow(test);
        EXPECT_EQ(g_log.drawItems, 0);

        Canvas shown(75, 23), expected(75, 23);
        shown.copyFromWindow(test);
        DRAWITEMSTRUCT request = {};
        request.CtlType = ODT_BUTTON;
        request.CtlID = 105;
        request.itemAction = ODA_DRAWENTIRE;
        request.itemState = (pressed ? ODS_SELECTED : 0) | (disabled ? ODS_DISABLED : 0);
        request.hwndItem = test;
        request.hDC = expected.dc();
        request.rcItem = {0, 0, 75, 23};
        HGDIOBJ previous = SelectObject(expected.dc(), g_log.font);  // the parent's font
        c.painter(&request);
        SelectObject(expected.dc(), previous);

        // Pixels a look leaves alone keep whatever was behind the button.
        PixelModel model(75, 23);
        for (int y = 0; y < 23; ++y)
            for (int x = 0; x < 75; ++x) model.set(x, y, expected.at(x, y));
        if (c.painter == &PaintGlassButton)
            for (POINT p : {POINT{0, 0}, POINT{74, 0}, POINT{0, 22}, POINT{74, 22}}) model.ignore(p.x, p.y);
        if (c.painter == &PaintBevelButton) {
            model.ignore(1, 21);
            model.ignore(73, 1);
        }
        EXPECT_EQ(model.differences(shown), "");
    }
}

INSTANTIATE_TEST_SUITE_P(SkinButtonProc, SkinnedWindowPaint,
                         testing::Values(WindowCase{1, &PaintSoftEdgeButton, "soft_edge"},
                                         WindowCase{2, &PaintBevelButton, "bevel"},
                                         WindowCase{3, &PaintGlassButton, "glass"},
                                         WindowCase{-1, &PaintSoftEdgeButton, "soft_edge_minus_one"}),
                         [](const testing::TestParamInfo<WindowCase>& info) { return std::string(info.param.name); });

// Painting skinned windows over and over leaves no GDI object behind.
TEST(SkinButtonProc, RepaintsLeaveNoGdiObjectsBehind)
{
    SkinStyleScope scope;
    for (int32_t style : {1, 2, 3}) {
        ButtonParent parent;
        ApplyButtonSkin(parent.get(), style);
        GdiObjectWatch watch;
        for (int round = 0; round < 5; ++round)
            for (int id : kPushButtonIds) {
                HWND button = parent.button(id);
                SendMessageA(button, round % 2 ? WM_LBUTTONUP : WM_LBUTTONDOWN, 0, MAKELPARAM(3, 3));
                InvalidateRect(button, nullptr, FALSE);
                UpdateWindow(button);
            }
        ReleaseCapture();
        EXPECT_GT(watch.created(), 0) << "style " << style;
        EXPECT_EQ(watch.liveObjects(), 0u) << "style " << style;
    }
}

}  // namespace
