// The frame pipeline: frame sizes and depths, the frame's bytes against the
// steps done one by one, every row of the outcome table made to happen, no
// leaks over thousands of frames, and both painting routes giving one frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "render/frame_pipeline.h"
#include "render/frame_routes.h"
#include "render/render_target.h"
#include "tests/render/frame_test_support.h"
#include "tests/support/dib_compare.h"
#include "tests/support/resource_watch.h"

namespace {

TEST(FramePipeline, FrameSizeDepthAndOffsetRectangle)
{
    for (bool grey : {false, true}) {
        PaletteOutput output(grey);
        int32_t number = 3, angle = 120;
        Frame a, b;
        RECT rect = {0, 0, 64, 48};
        a.block = RenderLeaderFrame(&rect, &number, &angle, LeaderSweepStep, 9, &a.more);
        ASSERT_NE(a.block, nullptr);
        EXPECT_EQ(a.more, 1);
        EXPECT_EQ(number, 3);
        EXPECT_EQ(angle, 114);
        int32_t w = 0, h = 0, bits = 0;
        RgbPalette palette;
        ASSERT_EQ(GetPackedDibInfo(a.block, &w, &h, &bits, &palette), 1);
        EXPECT_EQ(w, 64);
        EXPECT_EQ(h, 48);
        EXPECT_EQ(bits, grey ? 8 : 24);
        if (grey) {
            RgbPalette ramp;
            BuildGreyRamp(&ramp);
            EXPECT_EQ(std::memcmp(&palette, &ramp, sizeof ramp), 0);
        }
        number = 3, angle = 120;
        RECT offset = {1, 1, 65, 49};
        b.block = RenderLeaderFrame(&offset, &number, &angle, LeaderSweepStep, 9, &b.more);
        EXPECT_TRUE(SameBlockBytes(a.block, b.block)) << (grey ? "grey" : "24-bit");
    }
}

TEST(FramePipeline, LastFrameOfTheCountdown)
{
    PaletteOutput output(false);
    int32_t number = 0, angle = 6;
    Frame f;
    RECT rect = {0, 0, 40, 30};
    f.block = RenderLeaderFrame(&rect, &number, &angle, LeaderSweepStep, 4, &f.more);
    EXPECT_NE(f.block, nullptr);
    EXPECT_EQ(f.more, 0);
    EXPECT_EQ(number, 4);
    EXPECT_EQ(angle, 360);
}

TEST(FramePipeline, BytesAreThePaintedReducedAndGreyedFrame)
{
    struct {
        int width, height;
        int32_t number, angle;
        bool grey;
    } const cases[] = {{64, 48, 5, 270, false}, {64, 48, 5, 270, true}, {100, 95, -1, 6, true},
                       {33, 70, 0, 360, false}, {256, 256, 7, 180, false}};
    for (const auto& c : cases) {
        PaletteOutput output(c.grey);
        int32_t n1 = c.number, a1 = c.angle, n2 = c.number, a2 = c.angle;
        int moreExpected = -1;
        const std::vector<uint8_t> expected = FrameStepByStep(c.width, c.height, &n1, &a1, LeaderSweepStep, 9,
                                                              c.grey, &moreExpected);
        ASSERT_FALSE(expected.empty());
        RECT rect = {0, 0, c.width, c.height};
        for (FrameRoute route : {FrameRoute::Plain, FrameRoute::KeptOverlay}) {
            n2 = c.number, a2 = c.angle;
            Frame f;
            f.block = RenderLeaderFrameBy(route, &rect, &n2, &a2, LeaderSweepStep, 9, &f.more);
            EXPECT_TRUE(SameDibBytes(expected, BlockBytes(f.block)))
                << c.width << "x" << c.height << " " << c.number << "@" << c.angle
                << (route == FrameRoute::Plain ? " plain" : " overlay");
            EXPECT_EQ(f.more, moreExpected);
            EXPECT_EQ(n2, n1);
            EXPECT_EQ(a2, a1);
        }
    }
}

// The outcome table, each failure made to happen through the test program's
// imports (the pipeline is linked in).
TEST(FramePipelineOutcomes, SurfaceCannotBeMade)
{
    PaletteOutput output(true);
    for (int fault = 0; fault < 3; ++fault) {
        GlobalMemoryWatch memory;
        GdiObjectWatch gdi;
        if (fault == 0) memory.failAlloc(1);
        if (fault == 1) memory.failLock(1);
        if (fault == 2) gdi.failCreation(true);
        int32_t number = 2, angle = 60, more = -1;
        RECT rect = {0, 0, 64, 64};
        EXPECT_EQ(RenderLeaderFrame(&rect, &number, &angle, LeaderSweepStep, 9, &more), nullptr) << fault;
        EXPECT_EQ(more, 1) << fault;
        EXPECT_EQ(number, 2) << fault;
        EXPECT_EQ(angle, 60) << fault;
        EXPECT_EQ(memory.liveBlocks(), 0u) << fault;
        EXPECT_EQ(memory.heldLocks(), 0) << fault;
        EXPECT_EQ(gdi.liveObjects(), 0u) << fault;
    }
}

TEST(FramePipelineOutcomes, RescaleFails)
{
    PaletteOutput output(false);
    for (int32_t startAngle : {60, 6}) {
        GlobalMemoryWatch memory;
        GdiObjectWatch gdi;
        memory.failAllocsFrom(2);  // the surface's block is made; nothing after it
        int32_t number = 0, angle = startAngle, more = -1;
        RECT rect = {0, 0, 64, 64};
        EXPECT_EQ(RenderLeaderFrame(&rect, &number, &angle, LeaderSweepStep, 5, &more), nullptr);
        EXPECT_EQ(memory.allocCalls() >= 2, true);
        // The painter ran: the counter moved and more is what it returned.
        EXPECT_EQ(more, startAngle == 6 ? 0 : 1);
        EXPECT_EQ(number, startAngle == 6 ? 5 : 0);
        EXPECT_EQ(angle, startAngle == 6 ? 360 : 54);
        EXPECT_EQ(memory.liveBlocks(), 0u);
        EXPECT_EQ(memory.heldLocks(), 0);
        EXPECT_EQ(gdi.liveObjects(), 0u);
    }
}

TEST(FramePipelineOutcomes, ReductionFailsAndThe24BitFrameComesBack)
{
    PaletteOutput output(true);
    int32_t n0 = 4, a0 = 200;
    int more0 = 0;
    const std::vector<uint8_t> expected = FrameStepByStep(64, 64, &n0, &a0, LeaderSweepStep, 9, false, &more0);

    GlobalMemoryWatch memory;
    int32_t number = 4, angle = 200, more = -1;
    RECT rect = {0, 0, 64, 64};
    // Find how many blocks a frame takes up to the reduction, then fail from the
    // reduction's first block on.
    Frame probe;
    probe.block = RenderLeaderFrame(&rect, &number, &angle, LeaderSweepStep, 9, &more);
    const int allocsPerFrame = memory.allocCalls();
    ASSERT_GE(allocsPerFrame, 3);
    FreeBlock(probe.block);
    probe.block = nullptr;
    int allocsBeforeReduction = 0;
    for (int n = 1; n <= allocsPerFrame; ++n) {
        number = 4, angle = 200;
        memory.failAllocsFrom(n);
        Frame f;
        f.block = RenderLeaderFrame(&rect, &number, &angle, LeaderSweepStep, 9, &f.more);
        if (f.block) {
            allocsBeforeReduction = n;
            int32_t bits = 0;
            GetPackedDibInfo(f.block, nullptr, nullptr, &bits, nullptr);
            EXPECT_EQ(bits, 24);
            EXPECT_EQ(f.more, 1);
            EXPECT_TRUE(SameDibBytes(expected, BlockBytes(f.block)));
            EXPECT_EQ(memory.liveBlocks(), 1u);  // the frame alone
            break;
        }
        EXPECT_EQ(memory.liveBlocks(), 0u) << n;
    }
    EXPECT_GT(allocsBeforeReduction, 2);
    memory.failAlloc(0);
    EXPECT_EQ(memory.liveBlocks(), 0u);
    EXPECT_EQ(memory.heldLocks(), 0);
}

TEST(FramePipelineOutcomes, NothingLeaksOverThousandsOfFrames)
{
    for (bool grey : {false, true}) {
        PaletteOutput output(grey);
        GlobalMemoryWatch memory;
        GdiObjectWatch gdi;
        int32_t number = 9, angle = 360;
        RECT rect = {0, 0, 16, 12};
        for (int i = 0; i < 1500; ++i) {
            int32_t more = -1;
            HGLOBAL frame = RenderLeaderFrame(&rect, &number, &angle, LeaderSweepStep, 9, &more);
            ASSERT_NE(frame, nullptr) << i;
            FreeBlock(frame);
        }
        EXPECT_EQ(memory.liveBlocks(), 0u);
        EXPECT_EQ(memory.heldLocks(), 0);
        EXPECT_EQ(gdi.liveObjects(), 0u);
        EXPECT_GT(gdi.created(), 1500 * 3);  // screen DC, memory DC, section, font
    }
}

// The overlay of a size that could not be learnt (here its surfaces cannot
// be made) is not tried again on every frame, only after the release; the
// frames meanwhile are the plain ones.
TEST(FramePipeline, OverlayThatCannotBeLearntIsRemembered)
{
    PaletteOutput output(false);
    ReleaseKeptFrameMemory();
    RECT rect = {0, 0, 40, 40};
    int32_t plainNumber = 3, plainAngle = 360, number = 3, angle = 360;
    for (int frame = 0; frame < 4; ++frame) {
        if (frame == 3) ReleaseKeptFrameMemory();
        GdiObjectWatch gdi;
        gdi.failCreationOf(GdiObjectWatch::Others, 2);  // the frame's DC and section, nothing after
        Frame plain, kept;
        kept.block = RenderLeaderFrameBy(FrameRoute::KeptOverlay, &rect, &number, &angle, LeaderSweepStep, 3,
                                         &kept.more);
        const int failed = gdi.failedCreations();
        gdi.failCreationOf(0);
        plain.block =
            RenderLeaderFrameBy(FrameRoute::Plain, &rect, &plainNumber, &plainAngle, LeaderSweepStep, 3, &plain.more);
        ASSERT_NE(kept.block, nullptr) << frame;
        EXPECT_TRUE(SameBlockBytes(plain.block, kept.block)) << "frame " << frame;
        if (frame == 0 || frame == 3) {
            EXPECT_GT(failed, 0) << "frame " << frame << " did not try to learn the overlay";
        } else {
            EXPECT_EQ(failed, 0) << "frame " << frame << " tried the overlay again";
        }
    }
}

// The kept overlay against the plain painter, frame by frame over whole
// countdowns, at several sizes and in both output modes.
struct RouteCase {
    int width, height;
    bool grey;
    int32_t start, step;
};

class FrameRoutes : public ::testing::TestWithParam<RouteCase> {};

TEST_P(FrameRoutes, KeptOverlayGivesThePlainPaintersBytes)
{
    const RouteCase c = GetParam();
    PaletteOutput output(c.grey);
    RECT rect = {0, 0, c.width, c.height};
    int32_t plainNumber = c.start, plainAngle = 360, fastNumber = c.start, fastAngle = 360;
    int frames = 0;
    for (;; ++frames) {
        Frame plain, fast;
        plain.block = RenderLeaderFrameBy(FrameRoute::Plain, &rect, &plainNumber, &plainAngle, c.step, c.start,
                                          &plain.more);
        fast.block = RenderLeaderFrameBy(FrameRoute::KeptOverlay, &rect, &fastNumber, &fastAngle, c.step,
                                         c.start, &fast.more);
        ASSERT_NE(plain.block, nullptr);
        ASSERT_TRUE(SameBlockBytes(plain.block, fast.block)) << "frame " << frames;
        ASSERT_EQ(plain.more, fast.more);
        ASSERT_EQ(plainNumber, fastNumber);
        ASSERT_EQ(plainAngle, fastAngle);
        if (plain.more == 0) break;
        ASSERT_LT(frames, 10000);
    }
    EXPECT_EQ(frames + 1, (c.start + 1) * ((360 + c.step - 1) / c.step));
}

INSTANTIATE_TEST_SUITE_P(
    Countdowns, FrameRoutes,
    ::testing::Values(RouteCase{64, 48, false, 2, 6}, RouteCase{64, 48, true, 2, 6},
                      RouteCase{100, 95, false, 1, 6}, RouteCase{100, 95, true, 1, 6},
                      RouteCase{256, 256, false, 1, 36}, RouteCase{256, 256, true, 0, 30},
                      RouteCase{256, 64, true, 0, 12}, RouteCase{17, 9, false, 1, 6}),
    [](const ::testing::TestParamInfo<RouteCase>& info) {
        return std::to_string(info.param.width) + "x" + std::to_string(info.param.height) +
               (info.param.grey ? "_grey" : "_rgb");
    });

// A delivered 256 x 256 frame of number 7 at angle 270, 24-bit and grey, saved
// as frame_7_at_270.bmp and frame_7_at_270_grey.bmp to look at.
TEST(FramePipeline, SavesDeliveredFramesOfSevenAt270)
{
    for (bool grey : {false, true}) {
        PaletteOutput output(grey);
        int32_t number = 7, angle = 270;
        Frame f;
        RECT rect = {0, 0, 256, 256};
        f.block = RenderLeaderFrame(&rect, &number, &angle, LeaderSweepStep, 9, &f.more);
        const std::vector<uint8_t> dib = BlockBytes(f.block);
        ASSERT_FALSE(dib.empty());
        BITMAPFILEHEADER file = {};
        file.bfType = 0x4D42;
        file.bfSize = static_cast<DWORD>(sizeof file + dib.size());
        file.bfOffBits = static_cast<DWORD>(sizeof file + 40 + (grey ? 1024 : 0));
        FILE* out = std::fopen(grey ? "frame_7_at_270_grey.bmp" : "frame_7_at_270.bmp", "wb");
        ASSERT_NE(out, nullptr);
        std::fwrite(&file, sizeof file, 1, out);
        std::fwrite(dib.data(), dib.size(), 1, out);
        EXPECT_EQ(std::fclose(out), 0);
    }
}

}  // namespace
