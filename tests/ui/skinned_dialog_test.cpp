// The skin in the plug-in's real settings dialog, run through PLUGIN17DoBuild
// by the test host: which buttons are skinned for each host skin style, that
// clicks on skinned buttons still build and cancel, and that the buttons on
// screen show the look. With SKIN_PICTURE_DIR set it also saves pictures of
// the dialog in each look, up and pressed (tools/skin_pictures.sh).
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "resources/resource_ids.h"
#include "tests/support/host_harness.h"
#include "tests/support/resource_watch.h"
#include "tests/ui/skin_test_support.h"
#include "ui/button_skin.h"

using namespace skin_test;

namespace {

const int kPushButtonIds[] = {IDOK, IDCANCEL, IDC_HELP_BUTTON, IDC_TEST};

struct ButtonSeen {
    LONG_PTR style = 0;
    bool ownProcedure = false;  // a window procedure other than the class's
    HMODULE procedureModule = nullptr;
};

std::map<int, ButtonSeen> LookAtButtons(HWND dialog)
{
    std::map<int, ButtonSeen> seen;
    for (int id : kPushButtonIds) {
        HWND button = GetDlgItem(dialog, id);
        ButtonSeen& s = seen[id];
        s.style = GetWindowLongPtrA(button, GWL_STYLE);
        const LONG_PTR procedure = GetWindowLongPtrA(button, GWLP_WNDPROC);
        s.ownProcedure = procedure != static_cast<LONG_PTR>(GetClassLongPtrA(button, GCLP_WNDPROC));
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCSTR>(procedure), &s.procedureModule);
    }
    return seen;
}

void ExpectSkinned(const std::map<int, ButtonSeen>& seen, int32_t style, HMODULE plugin)
{
    for (const auto& [id, s] : seen) {
        SCOPED_TRACE(testing::Message() << "style " << style << ", button " << id);
        if (style == 0) {
            const LONG_PTR type = s.style & BS_TYPEMASK;
            EXPECT_TRUE(type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) << "type " << type;
            EXPECT_FALSE(s.ownProcedure);
        } else {
            EXPECT_EQ(s.style & BS_TYPEMASK, BS_OWNERDRAW);
            EXPECT_TRUE(s.ownProcedure);
            EXPECT_EQ(s.procedureModule, plugin) << "the new procedure lives in the plug-in";
        }
    }
}

class SkinnedDialog : public testing::TestWithParam<int32_t> {};

// What an OK build asks of the host with the system look: the skinned
// dialogs must ask exactly the same.
std::vector<int32_t> UnskinnedOkBuild()
{
    static const std::vector<int32_t> operations = [] {
        TestHost host;
        host.setSettings(64, 64, 1, 10).press(IDOK);
        host.doBuild();
        return host.operations();
    }();
    return operations;
}

TEST_P(SkinnedDialog, OkStillBuilds)
{
    const int32_t style = GetParam();
    const std::vector<int32_t> unskinned = UnskinnedOkBuild();  // one test host at a time
    TestHost host;
    host.context().skinStyle = style;
    std::map<int, ButtonSeen> seen;
    host.setSettings(64, 64, 1, 10).then([&](HWND dialog) { seen = LookAtButtons(dialog); }).click(IDOK);
    EXPECT_EQ(host.doBuild(), 1);
    EXPECT_FALSE(host.timedOut());
    EXPECT_EQ(host.dialogResult(), 1);
    ASSERT_EQ(seen.size(), 4u);
    ExpectSkinned(seen, style, host.module());
    // The whole build ran: started, file object, frames, comment, finish.
    const std::vector<int32_t> operations = host.operations();
    ASSERT_GE(operations.size(), 4u);
    EXPECT_EQ(operations.front(), HostOpBuildStarting);
    EXPECT_EQ(operations.back(), HostOpFinish);
    EXPECT_EQ(host.callsOf(HostOpNewFile).size(), 1u);
    EXPECT_EQ(host.callsOf(HostOpAddImage).size(), 120u) << "starting number 1: numbers 1 and 0";
    EXPECT_EQ(host.callsOf(HostOpAddComment).size(), 1u);
    EXPECT_EQ(operations, unskinned);
}

TEST_P(SkinnedDialog, CancelStillCancelsAndTestAndHelpStillRun)
{
    const int32_t style = GetParam();
    TestHost host;
    host.context().skinStyle = style;
    std::map<int, ButtonSeen> seen;
    host.setSettings(64, 64, 1, 10)
        .then([&](HWND dialog) { seen = LookAtButtons(dialog); })
        .click(IDC_TEST)
        .click(IDC_HELP_BUTTON)
        .click(IDCANCEL);
    EXPECT_EQ(host.doBuild(), 1);
    EXPECT_FALSE(host.timedOut());
    EXPECT_EQ(host.dialogResult(), 0);
    ExpectSkinned(seen, style, host.module());
    EXPECT_EQ(host.callsOf(HostOpNewTestFile).size(), 1u);
    EXPECT_EQ(host.callsOf(HostOpShowHelp).size(), 1u);
    EXPECT_TRUE(host.callsOf(HostOpNewFile).empty());
}

INSTANTIATE_TEST_SUITE_P(ButtonSkin, SkinnedDialog, testing::Values(0, 1, 2, 3, 4, -1),
                         [](const testing::TestParamInfo<int32_t>& info) {
                             return info.param < 0 ? "minus" + std::to_string(-info.param)
                                                   : std::to_string(info.param);
                         });

// Pictures of the dialog go here when SKIN_PICTURE_DIR is set.
std::string PictureDir()
{
    const char* dir = std::getenv("SKIN_PICTURE_DIR");
    return dir ? dir : "";
}

void PaintDialogNow(HWND dialog)
{
    RedrawWindow(dialog, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

// The dialog's rectangle around its four push buttons, in window coordinates.
RECT ButtonColumn(HWND dialog)
{
    RECT window, column = {};
    GetWindowRect(dialog, &window);
    for (int id : kPushButtonIds) {
        RECT r;
        GetWindowRect(GetDlgItem(dialog, id), &r);
        OffsetRect(&r, -window.left, -window.top);
        UnionRect(&column, &column, &r);
    }
    InflateRect(&column, 4, 4);
    return column;
}

void SavePictures(HWND dialog, const std::string& name)
{
    const std::string dir = PictureDir();
    if (dir.empty()) return;
    RECT window;
    GetWindowRect(dialog, &window);
    Canvas whole(window.right - window.left, window.bottom - window.top);
    whole.copyFromWindow(dialog, true);
    EXPECT_TRUE(whole.writeBmp(dir + "/dialog-" + name + ".bmp"));
    const RECT column = ButtonColumn(dialog);
    Canvas buttons(column.right - column.left, column.bottom - column.top);
    buttons.copyFrom(whole, column);
    EXPECT_TRUE(buttons.writeBmp(dir + "/buttons-" + name + ".bmp"));
}

// Each push button on screen, up and pressed, is what the painter of the
// chosen look paints for it with the dialog's font; repainting leaves no GDI
// object of the plug-in behind.
struct LookCase {
    int32_t style;
    int (*painter)(const DRAWITEMSTRUCT*);
    const char* name;
};

class SkinnedDialogLook : public testing::TestWithParam<LookCase> {};

TEST_P(SkinnedDialogLook, ButtonsOnScreenShowTheLook)
{
    const LookCase& c = GetParam();
    TestHost host;
    host.context().skinStyle = c.style;
    bool checked = false;
    host.wait(2).then([&](HWND dialog) {
        HFONT dialogFont = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
        GdiObjectWatch watch(host.module());
        for (bool pressed : {false, true}) {
            for (int id : kPushButtonIds)
                if (pressed) SendMessageA(GetDlgItem(dialog, id), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
            PaintDialogNow(dialog);
            for (int id : kPushButtonIds) {
                SCOPED_TRACE(testing::Message() << c.name << ", button " << id << (pressed ? " pressed" : " up"));
                HWND button = GetDlgItem(dialog, id);
                RECT client;
                GetClientRect(button, &client);
                Canvas shown(client.right, client.bottom), expected(client.right, client.bottom);
                shown.copyFromWindow(button);
                DRAWITEMSTRUCT request = {};
                request.CtlType = ODT_BUTTON;
                request.CtlID = id;
                request.itemAction = ODA_DRAWENTIRE;
                request.itemState = pressed ? ODS_SELECTED : 0;
                request.hwndItem = button;
                request.hDC = expected.dc();
                request.rcItem = client;
                HGDIOBJ previous = SelectObject(expected.dc(), dialogFont);
                c.painter(&request);
                SelectObject(expected.dc(), previous);
                PixelModel model(client.right, client.bottom);
                for (int y = 0; y < client.bottom; ++y)
                    for (int x = 0; x < client.right; ++x) model.set(x, y, expected.at(x, y));
                const int R = client.right, B = client.bottom;
                if (c.painter == &PaintGlassButton)
                    for (POINT p : {POINT{0, 0}, POINT{R - 1, 0}, POINT{0, B - 1}, POINT{R - 1, B - 1}})
                        model.ignore(p.x, p.y);
                if (c.painter == &PaintBevelButton) {
                    model.ignore(1, B - 2);
                    model.ignore(R - 2, 1);
                }
                EXPECT_EQ(model.differences(shown), "");
            }
            SavePictures(dialog, std::string(c.name) + (pressed ? "-pressed" : "-up"));
            // Let go outside the buttons: the flags clear and nothing is clicked.
            if (pressed)
                for (int id : kPushButtonIds)
                    SendMessageA(GetDlgItem(dialog, id), WM_LBUTTONUP, 0, MAKELPARAM(-20, -20));
        }
        EXPECT_GT(watch.created(), 0);
        EXPECT_EQ(watch.liveObjects(), 0u);
        checked = true;
    });
    host.press(IDCANCEL);
    EXPECT_EQ(host.doBuild(), 1);
    EXPECT_TRUE(checked);
    EXPECT_EQ(host.dialogResult(), 0);
    EXPECT_TRUE(host.calls().empty()) << "letting go outside a button clicks nothing";
}

INSTANTIATE_TEST_SUITE_P(ButtonSkin, SkinnedDialogLook,
                         testing::Values(LookCase{1, &PaintSoftEdgeButton, "soft-edge"},
                                         LookCase{2, &PaintBevelButton, "bevel"},
                                         LookCase{3, &PaintGlassButton, "glass"}),
                         [](const testing::TestParamInfo<LookCase>& info) {
                             std::string name = info.param.name;
                             for (char& ch : name)
                                 if (ch == '-') ch = '_';
                             return name;
                         });

// The system look, for comparison in the pictures.
TEST(SkinnedDialogPictures, SystemLook)
{
    if (PictureDir().empty()) GTEST_SKIP() << "SKIN_PICTURE_DIR not set";
    TestHost host;
    host.wait(2).then([&](HWND dialog) {
        PaintDialogNow(dialog);
        SavePictures(dialog, "system-up");
    });
    host.press(IDCANCEL);
    EXPECT_EQ(host.doBuild(), 1);
}

}  // namespace
