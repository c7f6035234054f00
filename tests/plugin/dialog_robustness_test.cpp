// The dialog under a host that misbehaves or a pipeline that fails: commands
// arriving in the middle of a build, frames that cannot be made, and the
// handles and blocks left over after many builds and preview ticks.
#include <gtest/gtest.h>

#include "plugin/build_driver.h"
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

// Several builds and many preview ticks leave no GDI object, device context,
// global block or lock behind, and the counts do not grow between builds.
// The frames' kept memory (the surface's and the number's mappings for the
// build's and the preview's sizes) lives while the dialog runs and is gone
// when it has ended.
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
        EXPECT_LE(liveMappings[i], 4u) << "sample " << i;
    }
    EXPECT_EQ(gdi.liveObjects(), 0u);
    EXPECT_EQ(memory.liveBlocks(), 0u);
    EXPECT_EQ(memory.heldLocks(), 0);
    EXPECT_EQ(mappings.liveMappings(), 0u);
    EXPECT_EQ(mappings.liveViews(), 0u);
}

}  // namespace
