// The render target and the painting of its surface: the surface made from
// the block's own header, the block handed over, its failures, and the kept
// surface held byte for byte against the plain painter over whole countdowns.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "render/frame_cache.h"
#include "render/frame_pipeline.h"
#include "render/render_target.h"
#include "tests/render/frame_test_support.h"
#include "tests/support/dib_compare.h"
#include "tests/support/literal_frame.h"
#include "tests/support/resource_watch.h"

namespace {

TEST(RenderTarget, SurfaceFromTheBlocksOwnHeader)
{
    GlobalMemoryWatch memory;
    GdiObjectWatch gdi;
    RenderTarget target = CreateRenderTarget(256, 192);
    ASSERT_TRUE(target);
    ASSERT_NE(target.header(), nullptr);
    EXPECT_EQ(target.header()->biWidth, 256);
    EXPECT_EQ(target.header()->biHeight, 192);
    EXPECT_EQ(target.header()->biBitCount, 24);
    EXPECT_EQ(target.rect().left, 0);
    EXPECT_EQ(target.rect().top, 0);
    EXPECT_EQ(target.rect().right, 256);
    EXPECT_EQ(target.rect().bottom, 192);
    EXPECT_NE(target.pixels(), nullptr);
    DIBSECTION selected = {};
    ASSERT_EQ(GetObjectA(GetCurrentObject(target.dc(), OBJ_BITMAP), sizeof selected, &selected),
              static_cast<int>(sizeof selected));
    EXPECT_EQ(selected.dsBm.bmBits, target.pixels());
    // One logical unit per pixel, y growing downward.
    EXPECT_EQ(GetMapMode(target.dc()), MM_TEXT);
    POINT p = {10, 20};
    LPtoDP(target.dc(), &p, 1);
    EXPECT_EQ(p.x, 10);
    EXPECT_EQ(p.y, 20);

    // A move leaves the source holding nothing.
    RenderTarget moved = std::move(target);
    EXPECT_FALSE(target);
    ASSERT_TRUE(moved);

    // Paint something and take the block: the pixels are in it, and nothing
    // else of the target is left.
    RECT box = {0, 0, 1, 1};  // top-left pixel
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    FillRect(moved.dc(), &box, brush);
    DeleteObject(brush);
    GlobalBlock block = FinishRenderTarget(std::move(moved));
    EXPECT_FALSE(moved);
    EXPECT_EQ(gdi.liveObjects(), 0u);
    EXPECT_EQ(memory.heldLocks(), 0);
    ASSERT_TRUE(block);
    EXPECT_EQ(memory.liveBlocks(), 1u);
    {
        LockedDib locked(block.get());
        EXPECT_EQ(GetDibPixel(locked.header(), 0, 0), 0x030201u);
        EXPECT_EQ(GetDibPixel(locked.header(), 1, 0), 0u);
    }
    // Finishing what is left hands nothing over.
    EXPECT_FALSE(FinishRenderTarget(std::move(moved)));
    FreeBlock(block.release());
    EXPECT_EQ(memory.liveBlocks(), 0u);

    // A target let go unfinished frees its block with the rest.
    {
        RenderTarget dropped = CreateRenderTarget(64, 64);
        ASSERT_TRUE(dropped);
        EXPECT_EQ(memory.liveBlocks(), 1u);
    }
    EXPECT_EQ(memory.liveBlocks(), 0u);
    EXPECT_EQ(gdi.liveObjects(), 0u);
    EXPECT_EQ(memory.heldLocks(), 0);
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
        RenderTarget target = CreateRenderTarget(fault == 3 ? -4 : 64, 64);
        EXPECT_FALSE(target) << "fault " << fault;
        EXPECT_EQ(target.header(), nullptr);
        EXPECT_EQ(target.pixels(), nullptr);
        EXPECT_EQ(target.dc(), nullptr);
        EXPECT_EQ(memory.liveBlocks(), 0u) << "fault " << fault;
        EXPECT_EQ(memory.heldLocks(), 0) << "fault " << fault;
        EXPECT_EQ(gdi.liveObjects(), 0u) << "fault " << fault;
        EXPECT_FALSE(FinishRenderTarget(std::move(target)));
    }
}

// The pipeline's surface skips the isotropic set-up that MM_TEXT replaces at
// once; painted after that switch, both surfaces hold the same bytes.
TEST(RenderTarget, PaintsTheBytesOfTheIsotropicSurface)
{
    for (int32_t angle : {360, 270, 96}) {
        std::vector<uint8_t> painted[2];
        {
            LiteralRenderTarget literal;
            ASSERT_TRUE(CreateLiteralRenderTarget(400, 380, &literal));
            EXPECT_EQ(GetMapMode(literal.memoryDc), MM_ISOTROPIC);
            SetMapMode(literal.memoryDc, MM_TEXT);
            int32_t number = 6, a = angle;
            PaintLeaderFrame(literal.memoryDc, &literal.rect, &number, &a, LeaderSweepStep, 9);
            HGLOBAL block = FinishLiteralRenderTarget(&literal);
            painted[0] = BlockBytes(block);
            FreeBlock(block);
        }
        {
            RenderTarget target = CreateRenderTarget(400, 380);
            ASSERT_TRUE(target);
            int32_t number = 6, a = angle;
            PaintLeaderFrame(target.dc(), &target.rect(), &number, &a, LeaderSweepStep, 9);
            GlobalBlock block = FinishRenderTarget(std::move(target));
            painted[1] = BlockBytes(block.get());
            FreeBlock(block.release());
        }
        EXPECT_FALSE(painted[0].empty());
        EXPECT_TRUE(SameDibBytes(painted[0], painted[1])) << "angle " << angle;
    }
}

}  // namespace

namespace {

// The painted 4x surfaces themselves, before any reduction: after each frame
// of the kept route its kept surface holds exactly the plain painter's
// bytes, at the build's and the preview's sizes and at odd ones, over whole
// countdowns.
struct SurfaceCase {
    int width, height;  // of the surface
    int32_t start, step;
};

// The plain painter's surface for the frame as a packed DIB (counter steps).
std::vector<uint8_t> PlainSurface(int width, int height, LeaderCounter& counter, int32_t step, int32_t reset,
                                  int* more)
{
    DibSurface surface(width, height);
    if (!surface) return {};
    RECT rect = surface.rect();
    *more = PaintLeaderFrame(surface.dc(), &rect, &counter.number, &counter.angle, step, reset);
    const BITMAPINFOHEADER header = Rgb24Header(width, height);
    std::vector<uint8_t> dib(reinterpret_cast<const uint8_t*>(&header), reinterpret_cast<const uint8_t*>(&header + 1));
    dib.insert(dib.end(), surface.bits(), surface.bits() + surface.bytes());
    return dib;
}

// The kept route's surface after its frame, as a packed DIB (counter steps).
std::vector<uint8_t> KeptRouteSurface(FrameCache& cache, int width, int height, LeaderCounter& counter, int32_t step,
                                 int32_t reset, int* more)
{
    const Frame frame =
        RenderBy(Route::Kept, &cache, {0, 0, width / 4, height / 4}, counter, step, reset, FrameFormat::TrueColour);
    if (!frame.block) return {};
    *more = frame.more;
    return KeptSurfaceBytes(cache, width / 4, height / 4);
}

class SurfaceRoutes : public ::testing::TestWithParam<SurfaceCase> {};

TEST_P(SurfaceRoutes, KeptSurfaceHoldsThePlainPaintersSurface)
{
    const SurfaceCase c = GetParam();
    FrameCache cache;
    LeaderCounter plain = {c.start, 360}, kept = {c.start, 360};
    int frames = 0;
    for (;; ++frames) {
        int more1 = -1, more2 = -2;
        const auto a = PlainSurface(c.width, c.height, plain, c.step, c.start, &more1);
        const auto b = KeptRouteSurface(cache, c.width, c.height, kept, c.step, c.start, &more2);
        ASSERT_FALSE(a.empty());
        ASSERT_TRUE(SameDibBytes(a, b)) << c.width << "x" << c.height << " frame " << frames;
        ASSERT_EQ(more1, more2);
        ASSERT_EQ(plain.number, kept.number);
        ASSERT_EQ(plain.angle, kept.angle);
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
    LeaderCounter counter = {0, 360};
    for (int frame = 0; frame < 200; ++frame) {
        const Frame f = RenderBy(Route::Kept, &cache, {0, 0, 10, 10}, counter, 1, 0, FrameFormat::TrueColour);
        ASSERT_NE(f.block, nullptr) << frame;
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

// The preview may paint between two frames of a build: frames of different
// sizes interleaved (here three, more than are kept) still leave the plain
// painter's surface.
TEST(KeptLayers, InterleavedSizesStayExact)
{
    FrameCache cache;
    const SIZE sizes[] = {{256, 256}, {400, 380}, {120, 64}};
    LeaderCounter plain[3], kept[3];
    for (int s = 0; s < 3; ++s) plain[s] = kept[s] = {1, 360};
    for (int frame = 0; frame < 150; ++frame) {
        const int s = frame % 3 == 2 && frame % 2 ? 2 : frame % 2;
        int more1 = -1, more2 = -2;
        const auto a = PlainSurface(sizes[s].cx, sizes[s].cy, plain[s], 12, 1, &more1);
        const auto b = KeptRouteSurface(cache, sizes[s].cx, sizes[s].cy, kept[s], 12, 1, &more2);
        ASSERT_FALSE(a.empty());
        ASSERT_TRUE(SameDibBytes(a, b)) << "frame " << frame << " size " << sizes[s].cx << "x" << sizes[s].cy;
        ASSERT_EQ(more1, more2);
    }
}

}  // namespace
