// The dialog under a host that misbehaves or a pipeline that fails: commands
// arriving in the middle of a build, frames that cannot be made, and the
// handles and blocks left over after many builds and preview ticks.
#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <vector>

#include "plugin/build_driver.h"
#include "plugin/module_state.h"
#include "plugin/settings_dialog.h"
#include "resources/resource_ids.h"
#include "tests/support/host_harness.h"
#include "tests/support/resource_watch.h"

namespace {

// A host whose callback lets messages through and, in the middle of the
// build, sends the dialog every command it has. None of them may start a
// nested build, end the dialog or ask for help; the preview goes on.
TEST(Reentrancy, CommandsDuringABuildAreIgnored)
{
    SKIP_WITHOUT_PIPELINE();
    for (bool ok : {false, true}) {
        TestHost host;
        GdiObjectWatch gdi(host.module());
        int previewObjectsMade = -1;
        host.duringCall = [&](TestHost&, HostCall& call) {
            if (call.operation != HostOpAddImage || call.frameRecord()->index != 3) return;
            HWND dialog = host.dialog();
            for (int id : {IDOK, IDCANCEL, IDC_TEST, IDC_HELP_BUTTON}) {
                SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
                PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
            }
            int before = gdi.created();
            PumpMessagesFor(300);  // timer ticks repaint the preview meanwhile
            previewObjectsMade = gdi.created() - before;
        };
        host.setSettings(64, 64, 1, 10).press(ok ? IDOK : IDC_TEST);
        if (!ok) host.press(IDCANCEL);
        EXPECT_EQ(host.doBuild(), 1);
        EXPECT_FALSE(host.timedOut()) << ok;
        EXPECT_EQ(host.dialogResult(), ok ? 1 : 0) << ok;

        std::vector<int32_t> expected = {HostOpBuildStarting, ok ? HostOpNewFile : HostOpNewTestFile};
        expected.insert(expected.end(), 120, HostOpAddImage);
        if (ok) expected.push_back(HostOpAddComment);
        expected.push_back(HostOpFinish);
        EXPECT_EQ(host.operations(), expected) << ok;
        for (const HostCall& c : host.calls()) EXPECT_EQ(c.nestingDepth, 0);
        EXPECT_EQ(host.callsOf(HostOpFinish).back()->value, 1);
        EXPECT_TRUE(host.messages().empty());
        EXPECT_GT(previewObjectsMade, 0) << "the preview stopped during the build";
        EXPECT_EQ(gdi.liveObjects(), 0u);
    }
}

// Closes the dialog a host opened inside its callback, as a user would: by
// Cancel or by Escape. One that ignores both for a second is ended as hung (-3).
HWND g_outerDialog = nullptr;
bool g_byEscape = false;
int g_closeTicks = 0;

void CALLBACK CloseNestedDialog(HWND, UINT, UINT_PTR, DWORD)
{
    const std::vector<HWND> outer = {g_outerDialog};
    HWND inner = FindThreadDialog("Velmora Leader", nullptr, &outer);
    if (inner && ++g_closeTicks > 100) EndDialog(inner, -3);
    else if (inner && g_byEscape) PostMessageA(GetDlgItem(inner, IDC_WIDTH), WM_KEYDOWN, VK_ESCAPE, 0);
    else if (inner) PostMessageA(GetDlgItem(inner, IDCANCEL), BM_CLICK, 0, 0);
}

// The button's pixels as it paints itself now.
std::vector<COLORREF> ButtonPixels(HWND button)
{
    RedrawWindow(button, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    RECT r;
    GetClientRect(button, &r);
    std::vector<COLORREF> pixels;
    HDC dc = GetDC(button);
    for (int i = 0; i < r.right * r.bottom; ++i) pixels.push_back(GetPixel(dc, i % r.right, i / r.right));
    ReleaseDC(button, dc);
    return pixels;
}

// During an OK build the host opens the plug-in again with the other output
// format and another button look, and closes it. The nested dialog answers
// Cancel and Escape; the outer build keeps its own format, count and look,
// and the frames' kept memory, which only the outer dialog's end releases.
TEST(Reentrancy, NestedDialogClosesAndTheOuterBuildKeepsItsOwnContext)
{
    SKIP_WITHOUT_PIPELINE();
    for (bool escape : {false, true}) {
        TestHost host;
        FileMappingWatch mappings(host.module());
        size_t mappingsAfterInner = 0;
        host.setPaletteOutput(!escape);
        host.context().skinStyle = escape ? 0 : 3;
        HostContext inner = host.context();
        inner.outputFlags ^= HostOutputPaletteImages;
        inner.skinStyle = escape ? 2 : 0;
        INT_PTR innerResult = -2;
        std::vector<COLORREF> okBefore, okAfter;
        host.duringCall = [&](TestHost& h, HostCall& call) {
            if (call.operation != HostOpAddImage || call.frameRecord()->index != 3) return;
            g_outerDialog = h.dialog();
            g_byEscape = escape;
            g_closeTicks = 0;
            okBefore = ButtonPixels(GetDlgItem(h.dialog(), IDOK));
            UINT_PTR timer = SetTimer(nullptr, 0, 10, &CloseNestedDialog);
            h.dll().doBuild()(h.hostWindow(), &inner, 0);
            KillTimer(nullptr, timer);
            innerResult = h.dialogResult();
            mappingsAfterInner = mappings.liveMappings();
            okAfter = ButtonPixels(GetDlgItem(h.dialog(), IDOK));
        };
        host.setSettings(64, 64, 1, 10).press(IDOK);
        host.doBuild();
        EXPECT_EQ(innerResult, 0) << "escape " << escape << ": the nested dialog could not be closed";
        EXPECT_TRUE(okAfter == okBefore) << "escape " << escape << ": the outer buttons changed their look";
        auto frames = host.callsOf(HostOpAddImage);
        ASSERT_EQ(frames.size(), 120u) << escape;
        for (int i = 0; i < 120; ++i)
            ASSERT_EQ(FrameBits(*frames[i]), escape ? 24 : 8) << "escape " << escape << ", frame " << i;
        EXPECT_EQ(host.callsOf(HostOpFinish).back()->value, 1);
        EXPECT_GT(mappingsAfterInner, 0u) << "escape " << escape << ": the nested dialog released the outer's memory";
        EXPECT_EQ(mappings.liveMappings(), 0u) << escape;
    }
}

// A pipeline that cannot make a single frame (no global memory for any
// block) ends the build after a bounded number of attempts, as failed.
TEST(FailingPipeline, BuildEndsAsFailedAfterRepeatedFailures)
{
    for (bool ok : {false, true}) {
        TestHost host;
        GlobalMemoryWatch memory(host.module());
        host.setSettings(64, 64, 9, 10)
            .then([&](HWND) { memory.failAllocsFrom(1); })
            .press(ok ? IDOK : IDC_TEST)
            .then([&](HWND) { memory.failAlloc(0); });
        if (!ok) host.press(IDCANCEL);
        EXPECT_EQ(host.doBuild(), 1);
        EXPECT_FALSE(host.timedOut()) << ok;
        EXPECT_EQ(host.dialogResult(), ok ? 1 : 0);
        std::vector<int32_t> expected = {HostOpBuildStarting, ok ? HostOpNewFile : HostOpNewTestFile};
        if (ok) expected.push_back(HostOpAddComment);
        expected.push_back(HostOpFinish);
        EXPECT_EQ(host.operations(), expected) << ok;
        EXPECT_EQ(host.callsOf(HostOpFinish).back()->value, 0) << ok;
        EXPECT_TRUE(host.messages().empty()) << ok;
        EXPECT_EQ(memory.liveBlocks(), 0u);
        EXPECT_EQ(memory.heldLocks(), 0);
    }
}

// GDI creation failing everywhere: the preview draws only its border and
// a build makes no frames; nothing is left behind.
TEST(FailingPipeline, GdiFailuresLeaveNothingBehind)
{
    TestHost host;
    GdiObjectWatch gdi(host.module());
    GlobalMemoryWatch memory(host.module());
    gdi.failCreation(true);
    host.setSettings(64, 64, 1, 10).wait(10).press(IDC_TEST).wait(10).press(IDCANCEL);
    host.doBuild();
    EXPECT_FALSE(host.timedOut());
    auto finish = host.callsOf(HostOpFinish);
    ASSERT_EQ(finish.size(), 1u);
    EXPECT_EQ(finish[0]->value, 0);
    EXPECT_TRUE(host.callsOf(HostOpAddImage).empty());
    EXPECT_EQ(gdi.liveObjects(), 0u);
    EXPECT_EQ(memory.liveBlocks(), 0u);
    EXPECT_EQ(memory.heldLocks(), 0);
}

// Patched over a one-argument import of the plug-in code linked into this
// program: throws std::bad_alloc there, inside the plug-in's own frames, as
// C++ code in a painter or the pipeline would when memory runs out.
int g_thrown = 0;
HANDLE WINAPI ThrowBadAlloc(void*)
{
    ++g_thrown;
    throw std::bad_alloc();
}

int32_t WINAPI DoBuildInThisProcess(HWND window, HostContext* context, int32_t)
{
    return static_cast<int32_t>(RunSettingsDialog(window, context));
}

// Every paint of the preview and of the glass buttons throws (window
// procedures: an exception past them would end this process), and so do the
// frames after the third of an OK build, which ends as failed: the credit
// text, then finish with 0, and nothing left allocated.
TEST(Exceptions, NothingEscapesTheWindowProceduresAndABuildEndsAsFailed)
{
    SKIP_WITHOUT_PIPELINE();
    TestHost host;
    const HINSTANCE linkedModule = PluginModule();
    SetPluginModule(host.module());  // the dialog template comes from the DLL
    GlobalMemoryWatch memory;
    const HMODULE self = GetModuleHandleA(nullptr);
    void* const thrower = reinterpret_cast<void*>(&ThrowBadAlloc);
    ScopedImportPatch brushes(self, "user32.dll", "GetSysColorBrush", thrower);
    std::unique_ptr<ScopedImportPatch> frameDCs;  // each frame makes its memory DC
    host.context().skinStyle = 3;
    host.duringCall = [&](TestHost&, HostCall& call) {
        if (call.operation == HostOpAddImage && call.frameRecord()->index == 2)
            frameDCs = std::make_unique<ScopedImportPatch>(self, "gdi32.dll", "CreateCompatibleDC", thrower);
    };
    g_thrown = 0;
    host.setSettings(64, 64, 1, 10).wait(10).press(IDOK);
    const int32_t dialogResult = host.doBuild(&host.context(), &DoBuildInThisProcess);
    frameDCs.reset();
    SetPluginModule(linkedModule);

    EXPECT_GE(g_thrown, 3) << "a preview paint, a button paint and a frame should have thrown";
    EXPECT_EQ(dialogResult, 1);
    ASSERT_EQ(host.operations(), (std::vector<int32_t>{18, 1, 2, 2, 2, 3, 4}));
    EXPECT_EQ(host.callsOf(HostOpFinish).back()->value, 0);
    EXPECT_EQ(memory.liveBlocks(), 0u);
    EXPECT_EQ(memory.heldLocks(), 0);
}

// Several builds and many preview ticks leave no GDI object, device context,
// global block or lock behind, and the counts do not grow between builds.
// The frames' kept memory (a mapping for the build's size and one for the
// preview's) lives while the dialog runs and is gone when it has ended.
TEST(Resources, NoGrowthAcrossBuildsAndPreviewTicks)
{
    SKIP_WITHOUT_PIPELINE();
    TestHost host;
    GdiObjectWatch gdi(host.module());
    GlobalMemoryWatch memory(host.module());
    FileMappingWatch mappings(host.module());
    std::vector<size_t> liveGdi, liveBlocks, liveMappings;
    auto sample = [&](HWND) {
        liveGdi.push_back(gdi.liveObjects());
        liveBlocks.push_back(memory.liveBlocks());
        liveMappings.push_back(mappings.liveMappings());
    };
    host.setSettings(64, 64, 1, 10).wait(20).then(sample);
    for (int i = 0; i < 3; ++i) host.press(IDC_TEST).wait(10).then(sample);
    host.press(IDC_HELP_BUTTON).wait(20).then(sample).press(IDOK);
    int previewPaintsBefore = gdi.created();
    host.doBuild();
    EXPECT_FALSE(host.timedOut());
    EXPECT_EQ(host.callsOf(HostOpAddImage).size(), 4u * 120u);
    EXPECT_GT(gdi.created(), previewPaintsBefore);
    for (size_t i = 0; i < liveGdi.size(); ++i) {
        EXPECT_EQ(liveGdi[i], 0u) << "sample " << i;
        EXPECT_EQ(liveBlocks[i], 0u) << "sample " << i;
        EXPECT_GE(liveMappings[i], 1u) << "sample " << i;
        EXPECT_LE(liveMappings[i], 2u) << "sample " << i;
    }
    EXPECT_EQ(gdi.liveObjects(), 0u);
    EXPECT_EQ(memory.liveBlocks(), 0u);
    EXPECT_EQ(memory.heldLocks(), 0);
    EXPECT_EQ(mappings.liveMappings(), 0u);
    EXPECT_EQ(mappings.liveViews(), 0u);
}

// The system's text settings or fonts changing while the dialog is open: the
// dialog drops what its frames learnt from drawn text, and the next build
// learns it again (it makes more GDI objects than the build after it, which
// lays everything), while without such a message the two are alike.
class TextChangeBetweenBuilds : public ::testing::TestWithParam<UINT> {};

TEST_P(TextChangeBetweenBuilds, WhatWasLearntFromTextIsLearntAgain)
{
    SKIP_WITHOUT_PIPELINE();
    const UINT message = GetParam();
    TestHost host;
    GdiObjectWatch gdi(host.module());
    std::vector<int> madeInBuild;
    int atStart = 0;
    host.duringCall = [&](TestHost&, HostCall& call) {
        if (call.operation == HostOpBuildStarting) atStart = gdi.created();
        if (call.operation == HostOpFinish) madeInBuild.push_back(gdi.created() - atStart);
    };
    host.setSettings(64, 64, 1, 10);
    // Two builds learn everything; the change comes before the third.
    host.press(IDC_TEST).press(IDC_TEST).then([message](HWND dialog) {
        if (message) SendMessageA(dialog, message, 0, 0);
    });
    host.press(IDC_TEST).press(IDC_TEST).press(IDCANCEL);
    host.doBuild();
    EXPECT_FALSE(host.timedOut());
    ASSERT_EQ(madeInBuild.size(), 4u);
    if (message) {
        EXPECT_GT(madeInBuild[2], madeInBuild[3]);
    } else {
        EXPECT_EQ(madeInBuild[2], madeInBuild[3]);
    }
}

INSTANTIATE_TEST_SUITE_P(Messages, TextChangeBetweenBuilds,
                         ::testing::Values(0u, UINT(WM_SETTINGCHANGE), UINT(WM_FONTCHANGE)));

}  // namespace
