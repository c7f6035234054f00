// The render target and the painting of its surface: the surface made from
// the block's own header, its failures, and the kept layers held byte
// for byte against the plain painter over whole countdowns.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "render/frame_cache.h"
#include "render/frame_pipeline.h"
#include "render/frame_routes.h"
#include "render/render_target.h"
#include "tests/render/frame_test_support.h"
#include "tests/support/dib_compare.h"
#include "tests/support/resource_watch.h"

namespace {

TEST(RenderTarget, SurfaceFromTheBlocksOwnHeader)
{
    GlobalMemoryWatch memory;
    GdiObjectWatch gdi;
    RenderTarget target;
    ASSERT_EQ(CreateRenderTarget(256, 192, &target), 1);
    ASSERT_NE(target.header, nullptr);
    EXPECT_EQ(target.header->biWidth, 256);
    EXPECT_EQ(target.header->biHeight, 192);
    EXPECT_EQ(target.header->biBitCount, 24);
    EXPECT_EQ(target.rect.left, 0);
    EXPECT_EQ(target.rect.top, 0);
    EXPECT_EQ(target.rect.right, 256);
    EXPECT_EQ(target.rect.bottom, 192);
    EXPECT_NE(target.pixels, nullptr);
    DIBSECTION selected = {};
    ASSERT_EQ(GetObjectA(GetCurrentObject(target.dc(), OBJ_BITMAP), sizeof selected, &selected),
              static_cast<int>(sizeof selected));
    EXPECT_EQ(selected.dsBm.bmBits, target.pixels);
    // One logical unit per pixel, y growing downward.
    POINT p = {10, 20};
    LPtoDP(target.dc(), &p, 1);
    EXPECT_EQ(p.x, 10);
    EXPECT_EQ(p.y, 20);

    // Paint something and take the block: the pixels are in it.
    RECT box = {0, 0, 1, 1};  // top-left pixel
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    FillRect(target.dc(), &box, brush);
    DeleteObject(brush);
    EXPECT_EQ(FinishRenderTarget(&target, KeepRenderTargetBlock), 1);
    EXPECT_EQ(gdi.liveObjects(), 0u);
    EXPECT_EQ(memory.heldLocks(), 0);
    ASSERT_NE(target.block, nullptr);
    {
        LockedDib locked(target.block);
        EXPECT_EQ(GetDibPixel(locked.header(), 0, 0), 0x030201u);
        EXPECT_EQ(GetDibPixel(locked.header(), 1, 0), 0u);
    }
    // A second finish keeps the block with bit 0 set and frees it without.
    EXPECT_EQ(FinishRenderTarget(&target, KeepRenderTargetBlock), 1);
    EXPECT_EQ(memory.liveBlocks(), 1u);
    EXPECT_EQ(FinishRenderTarget(&target, 0), 1);
    EXPECT_EQ(target.block, nullptr);
    EXPECT_EQ(memory.liveBlocks(), 0u);
}

TEST(RenderTarget, FailuresLeaveNothing)
{
    for (int fault = 0; fault < 4; ++fault) {
        GlobalMemoryWatch memory;
        GdiObjectWatch gdi;
        if (fault == 0) memory.failAlloc(1);  // the block
        if (fault == 1) memory.failLock(1);   // its lock
        if (fault == 2) gdi.failCreation(true);
        if (fault == 3) { /* negative size: no block */ }
        RenderTarget target;
        EXPECT_EQ(CreateRenderTarget(fault == 3 ? -4 : 64, 64, &target), 0) << "fault " << fault;
        EXPECT_EQ(target.block, nullptr);
        EXPECT_EQ(target.header, nullptr);
        EXPECT_FALSE(target.canvas);
        EXPECT_EQ(target.screenDc.get(), nullptr);
        EXPECT_EQ(memory.liveBlocks(), 0u) << "fault " << fault;
        EXPECT_EQ(memory.heldLocks(), 0) << "fault " << fault;
        EXPECT_EQ(gdi.liveObjects(), 0u) << "fault " << fault;
        EXPECT_EQ(FinishRenderTarget(&target, 0), 1);
    }
}

}  // namespace

namespace {

// The painted 4x surfaces themselves, before any reduction: the kept layers
// leave exactly the plain painter's bytes, at the build's and the preview's
// sizes and at odd ones, over whole countdowns.
struct SurfaceCase {
    int width, height;
    int32_t start, step;
};

std::vector<uint8_t> PaintedSurface(FrameRoute route, FrameCache* cache, int width, int height, int32_t* number,
                                    int32_t* angle, int32_t step, int32_t reset, int* more)
{
    RenderTarget target;
    if (!CreateRenderTarget(width, height, &target)) return {};
    SetMapMode(target.dc(), MM_TEXT);
    *more = PaintRenderTargetBy(route, cache, &target, number, angle, step, reset);
    FinishRenderTarget(&target, KeepRenderTargetBlock);
    std::vector<uint8_t> bytes = BlockBytes(target.block);
    FinishRenderTarget(&target, 0);
    return bytes;
}

class SurfaceRoutes : public ::testing::TestWithParam<SurfaceCase> {};

TEST_P(SurfaceRoutes, KeptLayersPaintThePlainPaintersSurface)
{
    const SurfaceCase c = GetParam();
    FrameCache cache;
    int32_t n1 = c.start, a1 = 360, n2 = c.start, a2 = 360;
    int frames = 0;
    for (;; ++frames) {
        int more1 = -1, more2 = -2;
        const auto plain = PaintedSurface(FrameRoute::Plain, &cache, c.width, c.height, &n1, &a1, c.step, c.start, &more1);
        const auto fast = PaintedSurface(FrameRoute::FreshSurface, &cache, c.width, c.height, &n2, &a2, c.step, c.start, &more2);
        ASSERT_FALSE(plain.empty());
        ASSERT_TRUE(SameDibBytes(plain, fast)) << c.width << "x" << c.height << " frame " << frames;
        ASSERT_EQ(more1, more2);
        ASSERT_EQ(n1, n2);
        ASSERT_EQ(a1, a2);
        if (more1 == 0) break;
        ASSERT_LT(frames, 10000);
    }
    // A negative start shows its one number and resets.
    EXPECT_EQ(frames + 1, std::max(c.start + 1, 1) * ((360 + c.step - 1) / c.step));
}

INSTANTIATE_TEST_SUITE_P(Countdowns, SurfaceRoutes,
                         ::testing::Values(SurfaceCase{256, 192, 2, 6}, SurfaceCase{400, 380, 1, 6},
                                           SurfaceCase{1024, 1024, 1, 30}, SurfaceCase{1024, 256, 1, 20},
                                           SurfaceCase{68, 36, -1, 6}, SurfaceCase{256, 1024, 1, 45},
                                           SurfaceCase{64, 64, 1, 1}),
                         [](const ::testing::TestParamInfo<SurfaceCase>& info) {
                             return std::to_string(info.param.width) + "x" + std::to_string(info.param.height);
                         });

}  // namespace

namespace {

// What is kept stays small: one backdrop per angle up to a fixed number per
// size, and only two sizes at a time.
TEST(KeptLayers, BoundedPerSizeAndTwoSizes)
{
    FrameCache cache;
    int32_t number = 0, angle = 360;
    for (int frame = 0; frame < 200; ++frame) {
        int more = 0;
        ASSERT_FALSE(PaintedSurface(FrameRoute::FreshSurface, &cache, 40, 40, &number, &angle, 1, 0, &more).empty());
    }
    auto layersFor = [&](int32_t w, int32_t h) { return &cache.use(w, h)->layers; };
    KeptLayers* kept = layersFor(40, 40);
    EXPECT_EQ(kept->backdropCount(), KeptLayers::MaxBackdrops);
    ASSERT_NE(kept->overlay(), nullptr);

    // A second size keeps the first; a third replaces the one used longest ago.
    EXPECT_EQ(layersFor(44, 40)->backdropCount(), 0u);
    EXPECT_EQ(layersFor(40, 40)->backdropCount(), KeptLayers::MaxBackdrops);
    EXPECT_EQ(layersFor(48, 40)->backdropCount(), 0u);
    EXPECT_EQ(layersFor(40, 40)->backdropCount(), KeptLayers::MaxBackdrops);
    EXPECT_EQ(layersFor(44, 40)->backdropCount(), 0u);
}

}  // namespace

namespace {

// The preview may paint between two frames of a build: frames of different
// sizes interleaved (here three, more than are kept) still come out as the
// plain painter's.
TEST(KeptLayers, InterleavedSizesStayExact)
{
    FrameCache cache;
    const SIZE sizes[] = {{256, 256}, {400, 380}, {120, 64}};
    int32_t plain[3][2], fast[3][2];
    for (int s = 0; s < 3; ++s) plain[s][0] = fast[s][0] = 1, plain[s][1] = fast[s][1] = 360;
    for (int frame = 0; frame < 150; ++frame) {
        const int s = frame % 3 == 2 && frame % 2 ? 2 : frame % 2;
        int more1 = -1, more2 = -2;
        const auto a = PaintedSurface(FrameRoute::Plain, &cache, sizes[s].cx, sizes[s].cy, &plain[s][0], &plain[s][1], 12,
                                      1, &more1);
        const auto b = PaintedSurface(FrameRoute::FreshSurface, &cache, sizes[s].cx, sizes[s].cy, &fast[s][0], &fast[s][1],
                                      12, 1, &more2);
        ASSERT_FALSE(a.empty());
        ASSERT_TRUE(SameDibBytes(a, b)) << "frame " << frame << " size " << sizes[s].cx << "x" << sizes[s].cy;
        ASSERT_EQ(more1, more2);
    }
}

}  // namespace

namespace {

// The pipeline's surface skips the isotropic set-up that MM_TEXT replaces at
// once; painted after that switch, both surfaces hold the same bytes.
TEST(RenderTarget, PixelTargetPaintsTheSameBytes)
{
    for (int32_t angle : {360, 270, 96}) {
        std::vector<uint8_t> painted[2];
        for (int pixel = 0; pixel < 2; ++pixel) {
            RenderTarget target;
            ASSERT_EQ(pixel ? CreatePixelRenderTarget(400, 380, &target) : CreateRenderTarget(400, 380, &target), 1);
            if (pixel) {
                EXPECT_EQ(GetMapMode(target.dc()), MM_TEXT);
            }
            SetMapMode(target.dc(), MM_TEXT);
            int32_t number = 6, a = angle;
            PaintLeaderFrame(target.dc(), &target.rect, &number, &a, LeaderSweepStep, 9);
            FinishRenderTarget(&target, KeepRenderTargetBlock);
            painted[pixel] = BlockBytes(target.block);
            FinishRenderTarget(&target, 0);
        }
        EXPECT_FALSE(painted[0].empty());
        EXPECT_TRUE(SameDibBytes(painted[0], painted[1])) << "angle " << angle;
    }
}

}  // namespace
