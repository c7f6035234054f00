// The frame pipeline: frame sizes and depths, the frame's bytes against the
// steps done one by one, every row of the outcome table made to happen on
// both routes, no leaks over thousands of frames, what is kept between
// frames and its release, and both routes giving one frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "render/frame_cache.h"
#include "render/frame_pipeline.h"
#include "render/kept_layers.h"
#include "render/kept_surface.h"
#include "tests/render/frame_test_support.h"
#include "tests/support/dib_compare.h"
#include "tests/support/import_patch.h"
#include "tests/support/resource_watch.h"

namespace {

FrameFormat FormatOf(bool grey) { return grey ? FrameFormat::GreyPalette : FrameFormat::TrueColour; }

TEST(FramePipeline, FrameSizeDepthAndOffsetRectangle)
{
    FrameCache cache;
    for (bool grey : {false, true}) {
        LeaderCounter counter = {3, 120};
        const Frame a = RenderBy(Route::Kept, &cache, {0, 0, 64, 48}, counter, LeaderSweepStep, 9, FormatOf(grey));
        ASSERT_NE(a.block, nullptr);
        EXPECT_EQ(a.more, 1);
        EXPECT_EQ(counter.number, 3);
        EXPECT_EQ(counter.angle, 114);
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
        counter = {3, 120};
        const Frame b = RenderBy(Route::Kept, &cache, {1, 1, 65, 49}, counter, LeaderSweepStep, 9, FormatOf(grey));
        EXPECT_TRUE(SameBlockBytes(a.block, b.block)) << (grey ? "grey" : "24-bit");
    }
}

TEST(FramePipeline, LastFrameOfTheCountdown)
{
    FrameCache cache;
    LeaderCounter counter = {0, 6};
    const Frame f = RenderBy(Route::Kept, &cache, {0, 0, 40, 30}, counter, LeaderSweepStep, 4, FrameFormat::TrueColour);
    EXPECT_NE(f.block, nullptr);
    EXPECT_EQ(f.more, 0);
    EXPECT_EQ(counter.number, 4);
    EXPECT_EQ(counter.angle, 360);
}

TEST(FramePipeline, BytesAreThePaintedReducedAndGreyedFrame)
{
    FrameCache cache;
    struct {
        int width, height;
        int32_t number, angle;
        bool grey;
    } const cases[] = {{64, 48, 5, 270, false}, {64, 48, 5, 270, true}, {100, 95, -1, 6, true},
                       {33, 70, 0, 360, false}, {256, 256, 7, 180, false}, {300, 10, 2, 90, true}};
    for (const auto& c : cases) {
        int32_t n1 = c.number, a1 = c.angle;
        int moreExpected = -1;
        const std::vector<uint8_t> expected = FrameStepByStep(c.width, c.height, &n1, &a1, LeaderSweepStep, 9,
                                                              c.grey, &moreExpected);
        ASSERT_FALSE(expected.empty());
        for (Route route : BothRoutes) {
            LeaderCounter counter = {c.number, c.angle};
            const Frame f = RenderBy(route, &cache, {0, 0, c.width, c.height}, counter, LeaderSweepStep, 9,
                                     FormatOf(c.grey));
            EXPECT_TRUE(SameDibBytes(expected, BlockBytes(f.block)))
                << c.width << "x" << c.height << " " << c.number << "@" << c.angle << " " << RouteName(route);
            EXPECT_EQ(f.more, moreExpected);
            EXPECT_EQ(counter.number, n1);
            EXPECT_EQ(counter.angle, a1);
        }
    }
}

// The outcome table, each failure made to happen through the test program's
// imports (the pipeline is linked in), on every route. Nothing kept from an
// earlier case may hide a failure of what a route keeps, so each case starts
// with nothing kept.
//
// Two outcomes of the kept route differ from the plain painter's on purpose.
// It makes the delivered frame's block before painting and never makes a
// block for the 4x surface, so a block that cannot be allocated gives "not
// made, counter unchanged" (the BlockAlloc row) where the plain route gives
// "lost after painting", and a failing 4x allocation cannot happen at all.
// Both are sound: no frame is lost, and nothing fails that need not.
// Between frames inside a dialog the kept route holds, for each of at most
// two sizes, a page-file mapping of the 4x surface and its view (3 MiB at
// 1024 x 1024) and heap memory for the learnt layers (up to 2.5 MiB) and the
// number's pictures (about 1.4 MB), and one rescaler block of about 1.5 MB
// shared by both sizes (frame_cache.h); no GDI object, DC or global block.
enum class Fault {
    BlockAlloc,        // the fresh surface's block
    BlockLock,
    GdiCreation,       // every GDI object and DC
    GdiCreationOnceLearnt,  // the same once the size's layers and number box are kept
    DcOrSectionOnceLearnt,  // DCs and bitmaps alone, once every layer of the frame is kept
    Mapping,           // the kept surface's mapping
    View,              // its view
    ZeroWidth,         // rectangles that are no surface
    NegativeHeight,
    WidthWrapsWhenFourTimes,   // 0x40000001 x 4 wraps to 4 in 32 bits
    HeightWrapsWhenFourTimes,
    WidthOverflows,    // right - left does not fit in 32 bits
};

struct SurfaceFaultCase {
    Route route;
    Fault fault;
};

const char* FaultName(Fault fault)
{
    static const char* const names[] = {"BlockAlloc",     "BlockLock",
                                        "GdiCreation",    "GdiCreationOnceLearnt", "DcOrSectionOnceLearnt",
                                        "Mapping",        "View",
                                        "ZeroWidth",      "NegativeHeight",
                                        "WidthWrapsWhenFourTimes", "HeightWrapsWhenFourTimes",
                                        "WidthOverflows"};
    return names[static_cast<int>(fault)];
}

void PrintTo(const SurfaceFaultCase& c, std::ostream* os) { *os << RouteName(c.route) << ", " << FaultName(c.fault); }

class SurfaceCannotBeMade : public ::testing::TestWithParam<SurfaceFaultCase> {};

TEST_P(SurfaceCannotBeMade, NullMoreOneCounterUnchangedNothingLeft)
{
    const SurfaceFaultCase c = GetParam();
    FrameCache cache;
    RECT rect = {0, 0, 64, 64};
    const bool onceLearnt = c.fault == Fault::GdiCreationOnceLearnt || c.fault == Fault::DcOrSectionOnceLearnt;
    for (int learn = 0; onceLearnt && learn < 2; ++learn) {
        LeaderCounter counter = {2, 60};
        RenderBy(c.route, &cache, rect, counter, LeaderSweepStep, 9, FrameFormat::TrueColour);
    }
    GlobalMemoryWatch memory;
    GdiObjectWatch gdi;
    FileMappingWatch mappings;
    switch (c.fault) {
    case Fault::BlockAlloc: memory.failAlloc(1); break;
    case Fault::BlockLock: memory.failLock(1); break;
    case Fault::GdiCreation:
    case Fault::GdiCreationOnceLearnt: gdi.failCreation(true); break;
    case Fault::DcOrSectionOnceLearnt: gdi.failCreationOf(GdiObjectWatch::Others); break;
    case Fault::Mapping: mappings.failMapping(1); break;
    case Fault::View: mappings.failView(1); break;
    case Fault::ZeroWidth: rect.right = 0; break;
    case Fault::NegativeHeight: rect.bottom = -4; break;
    case Fault::WidthWrapsWhenFourTimes: rect.right = 0x40000001; break;
    case Fault::HeightWrapsWhenFourTimes: rect.bottom = 0x40000001; break;
    case Fault::WidthOverflows: rect.left = -0x7FFFFFFF, rect.right = 0x7FFFFFFF; break;
    }
    LeaderCounter counter = {2, 60};
    const Frame f = RenderBy(c.route, &cache, rect, counter, LeaderSweepStep, 9, FrameFormat::GreyPalette);
    EXPECT_EQ(f.block, nullptr);
    EXPECT_EQ(f.more, 1);
    EXPECT_EQ(counter.number, 2);
    EXPECT_EQ(counter.angle, 60);
    EXPECT_EQ(memory.liveBlocks(), 0u);
    EXPECT_EQ(memory.heldLocks(), 0);
    EXPECT_EQ(gdi.liveObjects(), 0u);
    // A surface mapped before the failure is kept memory, gone at the release.
    cache.release();
    EXPECT_EQ(mappings.liveMappings(), 0u);
    EXPECT_EQ(mappings.liveViews(), 0u);
}

std::vector<SurfaceFaultCase> SurfaceFaults()
{
    std::vector<SurfaceFaultCase> cases;
    // What only the kept route makes: kept memory. Every route's first block
    // (a fresh surface's, or the kept route's frame) is made before painting.
    const std::vector<Fault> keptOnly = {Fault::Mapping, Fault::View, Fault::GdiCreationOnceLearnt,
                                         Fault::DcOrSectionOnceLearnt};
    for (Route route : BothRoutes) {
        if (route == Route::Kept)
            for (Fault fault : keptOnly) cases.push_back({route, fault});
        for (Fault fault : {Fault::BlockAlloc, Fault::BlockLock, Fault::GdiCreation, Fault::ZeroWidth, Fault::NegativeHeight,
                            Fault::WidthWrapsWhenFourTimes, Fault::HeightWrapsWhenFourTimes, Fault::WidthOverflows})
            cases.push_back({route, fault});
    }
    return cases;
}

std::string SurfaceFaultName(const ::testing::TestParamInfo<SurfaceFaultCase>& info)
{
    static const char* const routes[] = {"Plain", "Kept"};
    return std::string(routes[static_cast<int>(info.param.route)]) + "_" + FaultName(info.param.fault);
}

INSTANTIATE_TEST_SUITE_P(Rows, SurfaceCannotBeMade, ::testing::ValuesIn(SurfaceFaults()), SurfaceFaultName);

// What the rescale needs after painting fails: on the plain route every
// global block after the surface's own, on the kept route the lock of the
// frame's block (made, and locked once, before painting).
TEST(FramePipelineOutcomes, RescaleFails)
{
    FrameCache cache;
    for (Route route : BothRoutes) {
        for (int32_t startAngle : {60, 6}) {
            GlobalMemoryWatch memory;
            GdiObjectWatch gdi;
            if (route == Route::Kept)
                memory.failLock(2);
            else
                memory.failAllocsFrom(2);
            LeaderCounter counter = {0, startAngle};
            const Frame f = RenderBy(route, &cache, {0, 0, 64, 64}, counter, LeaderSweepStep, 5, FrameFormat::TrueColour);
            EXPECT_EQ(f.block, nullptr);
            EXPECT_GE(memory.allocCalls(), 1);
            // The painter ran: the counter moved and more is what it returned.
            EXPECT_EQ(f.more, startAngle == 6 ? 0 : 1) << RouteName(route);
            EXPECT_EQ(counter.number, startAngle == 6 ? 5 : 0) << RouteName(route);
            EXPECT_EQ(counter.angle, startAngle == 6 ? 360 : 54) << RouteName(route);
            EXPECT_EQ(memory.liveBlocks(), 0u) << RouteName(route);
            EXPECT_EQ(memory.heldLocks(), 0) << RouteName(route);
            EXPECT_EQ(gdi.liveObjects(), 0u) << RouteName(route);
        }
    }
}

TEST(FramePipelineOutcomes, ReductionFailsAndThe24BitFrameComesBack)
{
    FrameCache cache;
    int32_t n0 = 4, a0 = 200;
    int more0 = 0;
    const std::vector<uint8_t> expected = FrameStepByStep(64, 64, &n0, &a0, LeaderSweepStep, 9, false, &more0);

    const RECT rect = {0, 0, 64, 64};
    for (Route route : BothRoutes) {
        GlobalMemoryWatch memory;
        LeaderCounter counter = {4, 200};
        // Find how many blocks a frame takes up to the reduction, then fail
        // from the reduction's first block on.
        {
            const Frame probe = RenderBy(route, &cache, rect, counter, LeaderSweepStep, 9, FrameFormat::GreyPalette);
        }
        const int allocsPerFrame = memory.allocCalls();
        ASSERT_GE(allocsPerFrame, 2);
        int allocsBeforeReduction = 0;
        for (int n = 1; n <= allocsPerFrame; ++n) {
            counter = {4, 200};
            memory.failAllocsFrom(n);
            const Frame f = RenderBy(route, &cache, rect, counter, LeaderSweepStep, 9, FrameFormat::GreyPalette);
            if (f.block) {
                allocsBeforeReduction = n;
                int32_t bits = 0;
                GetPackedDibInfo(f.block, nullptr, nullptr, &bits, nullptr);
                EXPECT_EQ(bits, 24);
                EXPECT_EQ(f.more, 1);
                EXPECT_TRUE(SameDibBytes(expected, BlockBytes(f.block))) << RouteName(route);
                EXPECT_EQ(memory.liveBlocks(), 1u);  // the frame alone
                break;
            }
            EXPECT_EQ(memory.liveBlocks(), 0u) << n;
        }
        EXPECT_GT(allocsBeforeReduction, 1) << RouteName(route);
        memory.failAlloc(0);
        EXPECT_EQ(memory.liveBlocks(), 0u);
        EXPECT_EQ(memory.heldLocks(), 0);
    }
}

// Frames made while brushes, pens or fonts cannot be created: every route
// gives what the painter gives on a fresh, zeroed surface under the same
// condition, also once the kept layers of the size have been learnt.
TEST(FramePipelineOutcomes, FramesWithoutBrushesPensOrFontsAreThePaintersFrames)
{
    FrameCache cache;
    const unsigned conditions[] = {GdiObjectWatch::Brushes, GdiObjectWatch::Pens, GdiObjectWatch::Fonts,
                                   GdiObjectWatch::Brushes | GdiObjectWatch::Pens | GdiObjectWatch::Fonts};
    const RECT rect = {0, 0, 64, 48};
    for (Route route : BothRoutes) {
        // Learn this size's layers first.
        for (int32_t angle : {360, 270, 264}) {
            LeaderCounter counter = {5, angle};
            RenderBy(route, &cache, rect, counter, LeaderSweepStep, 9, FrameFormat::TrueColour);
        }
        for (unsigned missing : conditions) {
            for (int32_t angle : {360, 270, 264}) {
                GdiObjectWatch gdi;
                gdi.failCreationOf(missing);
                int32_t n1 = 5, a1 = angle;
                int more1 = -1;
                const std::vector<uint8_t> expected =
                    FrameStepByStep(64, 48, &n1, &a1, LeaderSweepStep, 9, false, &more1);
                LeaderCounter counter = {5, angle};
                const Frame f = RenderBy(route, &cache, rect, counter, LeaderSweepStep, 9, FrameFormat::TrueColour);
                EXPECT_TRUE(SameDibBytes(expected, BlockBytes(f.block)))
                    << RouteName(route) << ", kinds missing " << missing << ", angle " << angle;
                EXPECT_EQ(f.more, more1);
                EXPECT_EQ(counter.angle, a1);
                EXPECT_EQ(gdi.liveObjects(), 0u);
            }
        }
    }
}

// Between frames nothing of a frame is left alive but what is kept: no GDI
// object, DC, global block or lock; on the kept route the surface's mapping
// and its view, gone at the release.
TEST(FramePipelineOutcomes, NothingLeaksOverThousandsOfFrames)
{
    FrameCache cache;
    for (Route route : BothRoutes) {
        for (bool grey : {false, true}) {
            cache.release();
            GlobalMemoryWatch memory;
            GdiObjectWatch gdi;
            FileMappingWatch mappings;
            LeaderCounter counter = {9, 360};
            for (int i = 0; i < 1500; ++i) {
                {
                    const Frame frame = RenderBy(route, &cache, {0, 0, 16, 12}, counter, LeaderSweepStep, 9, FormatOf(grey));
                    ASSERT_NE(frame.block, nullptr) << i;
                }
                ASSERT_EQ(gdi.liveObjects(), 0u) << i;
                ASSERT_EQ(memory.liveBlocks(), 0u) << i;
            }
            EXPECT_EQ(memory.heldLocks(), 0);
            EXPECT_GT(gdi.created(), 1500 * 3);  // memory DC, section, font
            const size_t kept = route == Route::Kept ? 1 : 0;
            EXPECT_EQ(mappings.liveMappings(), kept) << RouteName(route);
            EXPECT_EQ(mappings.liveViews(), kept) << RouteName(route);
            EXPECT_EQ(cache.keptBytes() > 0, route != Route::Plain) << RouteName(route);
            cache.release();
            EXPECT_EQ(mappings.liveMappings(), 0u);
            EXPECT_EQ(mappings.liveViews(), 0u);
            EXPECT_EQ(cache.keptBytes(), 0u);
        }
    }
}

// Nothing is remembered of an overlay that could not be learnt (here its
// surfaces cannot be made): the next frame learns it. The frames meanwhile
// are the plain ones.
TEST(FramePipeline, OverlayThatCouldNotBeLearntIsLearntByTheNextFrame)
{
    FrameCache cache;
    const RECT rect = {0, 0, 40, 40};
    LeaderCounter plainCounter = {3, 360}, keptCounter = {3, 360};
    for (int frame = 0; frame < 3; ++frame) {
        GdiObjectWatch gdi;
        if (frame == 0) gdi.failCreationOf(GdiObjectWatch::Others, 2);  // the frame's DC and section, nothing after
        const Frame kept = RenderBy(Route::Kept, &cache, rect, keptCounter, LeaderSweepStep, 3, FrameFormat::TrueColour);
        const int failed = gdi.failedCreations();
        gdi.failCreationOf(0);
        const Frame plain = RenderBy(Route::Plain, nullptr, rect, plainCounter, LeaderSweepStep, 3, FrameFormat::TrueColour);
        ASSERT_NE(kept.block, nullptr) << frame;
        EXPECT_TRUE(SameBlockBytes(plain.block, kept.block)) << "frame " << frame;
        const bool learnt = cache.use(160, 160)->layers.overlay() != nullptr;
        if (frame == 0) {
            EXPECT_GT(failed, 0) << "frame 0 did not try to learn the overlay";
        }
        EXPECT_EQ(learnt, frame > 0) << "frame " << frame;
    }
}

// The kept route against the plain one, frame by frame over whole
// countdowns, at several sizes and in both output modes; a second countdown (a
// preview's, maybe of the same size) may paint between two frames of the
// first, as in a dialog, and some frames may be made without brushes (every
// route then paints them whole with GDI) in the middle of a countdown.
//
// Each route keeps its own cache, as one dialog does over its builds, and
// some rows make the countdown again with it: after one frame whose objects
// failed once the check that they can be made had passed (so at a frame
// that learns: the painting or the learning failed), or after the system's
// text smoothing changed before the third (then what the kept route learnt
// from text is learnt again, and only then: by the third countdown
// everything is learnt, so without a change the third and fourth make the
// same GDI objects, and with one the third makes more). Nothing may be learnt from
// the failing frame, and every later frame must be the plain one; the
// failing frame itself is the plain painter's under the same failure. The
// kept route must also have compared each number's first laying, over one
// grey and over two, with GDI's whole frame.
enum class Between { Nothing, SmoothingChangesOnce };

struct RouteCase {
    int width, height;
    bool grey;
    int32_t start, step;
    int otherWidth = 0, otherHeight = 0;  // interleaved frames of this size when set
    int brushlessEvery = 0;               // every so many frames of the first countdown, when set
    int countdowns = 1;
    unsigned failing = 0;  // kinds that fail, at one frame of the first size, counted over every countdown
    int failingAfter = 0;  // made before they fail (the check makes two brushes, a font and two pens)
    int failingFrame = -1;
    Between between = Between::Nothing;
};

void PrintTo(const RouteCase& c, std::ostream* os)
{
    *os << c.width << "x" << c.height << (c.grey ? " grey" : " 24-bit") << " from " << c.start << " by " << c.step;
    if (c.otherWidth) *os << ", with " << c.otherWidth << "x" << c.otherHeight;
    if (c.brushlessEvery) *os << ", every " << c.brushlessEvery << "th frame without brushes";
    if (c.failing)
        *os << ", kinds " << c.failing << " failing after " << c.failingAfter << " at frame " << c.failingFrame;
    if (c.countdowns > 1) *os << ", " << c.countdowns << " countdowns";
    if (c.between == Between::SmoothingChangesOnce) *os << ", text smoothing changing before the third";
}

// The system's text smoothing as this program's reads see it: the type is
// reported as the other one while `flipped` is set.
bool g_smoothingFlipped = false;
BOOL WINAPI SystemParametersWithSmoothingFlipped(UINT action, UINT param, PVOID value, UINT flags)
{
    using Real = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT);
    static const Real real = reinterpret_cast<Real>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "SystemParametersInfoA")));
    const BOOL ok = real(action, param, value, flags);
    if (ok && g_smoothingFlipped && action == SPI_GETFONTSMOOTHINGTYPE)
        *static_cast<UINT*>(value) = *static_cast<UINT*>(value) == FE_FONTSMOOTHINGCLEARTYPE
                                         ? FE_FONTSMOOTHINGSTANDARD
                                         : FE_FONTSMOOTHINGCLEARTYPE;
    return ok;
}

class FrameRoutes : public ::testing::TestWithParam<RouteCase> {};

TEST_P(FrameRoutes, KeptRouteGivesThePlainPaintersBytes)
{
    const RouteCase c = GetParam();
    ScopedImportPatch smoothing(GetModuleHandleA(nullptr), "user32.dll", "SystemParametersInfoA",
                                reinterpret_cast<void*>(&SystemParametersWithSmoothingFlipped));
    g_smoothingFlipped = false;
    FrameCache caches[2];
    struct Countdown {
        RECT rect;
        LeaderCounter counter[2];
    };
    const int sizeCount = c.otherWidth ? 2 : 1;
    int frame = 0;
    std::vector<int> keptCreations(c.countdowns);  // GDI objects and DCs the kept route made
    for (int countdown = 0; countdown < c.countdowns; ++countdown) {
        g_smoothingFlipped = countdown >= 2 && c.between == Between::SmoothingChangesOnce;
        Countdown sizes[2] = {{{0, 0, c.width, c.height}, {{c.start, 360}, {c.start, 360}}},
                              {{0, 0, c.otherWidth, c.otherHeight}, {{9, 360}, {9, 360}}}};
        int frames = 0;
        for (;; ++frames, ++frame) {
            int32_t more = -1;
            for (int s = 0; s < sizeCount; ++s) {
                Countdown& d = sizes[s];
                const bool brushless = s == 0 && countdown == 0 && c.brushlessEvery &&
                                       frames % c.brushlessEvery == c.brushlessEvery - 1;
                const bool failing = s == 0 && frame == c.failingFrame;
                Frame f[2];
                for (int r = 0; r < 2; ++r) {
                    GdiObjectWatch gdi;
                    if (brushless) gdi.failCreationOf(GdiObjectWatch::Brushes);
                    // The plain route gives the painter's frame with every object of those kinds failing.
                    if (failing) gdi.failCreationOf(c.failing, r == 0 ? 0 : c.failingAfter);
                    f[r] = RenderBy(BothRoutes[r], &caches[r], d.rect, d.counter[r], s ? 6 : c.step, s ? 9 : c.start,
                                    FormatOf(c.grey));
                    if (BothRoutes[r] == Route::Kept && s == 0) keptCreations[countdown] += gdi.created();
                    if (failing && r > 0) {
                        EXPECT_GT(gdi.failedCreations(), 0) << "frame " << frame;
                    }
                }
                ASSERT_NE(f[0].block, nullptr);
                ASSERT_TRUE(SameBlockBytes(f[0].block, f[1].block))
                    << "size " << s << ", countdown " << countdown << ", frame " << frames;
                ASSERT_EQ(f[0].more, f[1].more);
                ASSERT_EQ(d.counter[0].number, d.counter[1].number);
                ASSERT_EQ(d.counter[0].angle, d.counter[1].angle);
                if (s == 0) more = f[0].more;
            }
            if (more == 0) break;
            ASSERT_LT(frames, 10000);
        }
        EXPECT_EQ(frames + 1, (c.start + 1) * ((360 + c.step - 1) / c.step));
    }
    if (c.countdowns >= 4 && !c.failing) {
        if (c.between == Between::SmoothingChangesOnce) {
            EXPECT_GT(keptCreations[2], keptCreations[3]) << "nothing was learnt again after the change";
        } else {
            EXPECT_EQ(keptCreations[2], keptCreations[3]) << "something was learnt again without a change";
        }
    }

    // Each number's laying, over the two greys of the sweep and (from the
    // second countdown on, whose numbers begin laid) over the one grey of its
    // first frame, was compared with GDI's frame, and gave it: GDI's text
    // keeps the rule the pictures rest on, so a laying found to differ was
    // learnt from something drawn wrong (a failing frame's), and the fast
    // route is lost for that number. The first countdown's first number is
    // not laid: every angle's backdrop is learnt on its frames.
    if (c.step < 360 && KeptSurface::Fits(c.width * 4, c.height * 4)) {
        const KeptLayers& layers = caches[1].use(c.width * 4, c.height * 4)->layers;
        for (int32_t number = c.countdowns > 1 ? c.start : c.start - 1; number >= 0; --number) {
            EXPECT_EQ(layers.laying(number, false), KeptLayers::Laying::GivesGdisFrame) << "number " << number;
            if (c.countdowns > 1) {
                EXPECT_EQ(layers.laying(number, true), KeptLayers::Laying::GivesGdisFrame) << "number " << number;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Countdowns, FrameRoutes,
    ::testing::Values(RouteCase{64, 48, false, 2, 6}, RouteCase{64, 48, true, 2, 6},
                      RouteCase{100, 95, false, 1, 6}, RouteCase{100, 95, true, 1, 6},
                      RouteCase{256, 256, false, 1, 36}, RouteCase{256, 256, true, 0, 30},
                      RouteCase{256, 64, true, 0, 12}, RouteCase{17, 9, false, 1, 6},
                      RouteCase{256, 256, true, 0, 6, 100, 95}, RouteCase{64, 64, false, 1, 6, 100, 95},
                      RouteCase{100, 95, false, 1, 6, 100, 95}, RouteCase{64, 48, true, 1, 6, 0, 0, 7},
                      RouteCase{300, 300, false, 0, 30},
                      // One failing frame, then the same countdown again: where the number's box is
                      // learnt, where its pictures are drawn and the laying first checked, where
                      // the laying over one grey is checked, where the backdrop and the overlay are learnt.
                      RouteCase{64, 64, false, 1, 6, 0, 0, 0, 2, GdiObjectWatch::Fonts, 1, 60},
                      RouteCase{64, 64, true, 1, 6, 0, 0, 0, 2, GdiObjectWatch::Fonts, 1, 61},
                      RouteCase{64, 64, false, 1, 6, 0, 0, 0, 3, GdiObjectWatch::Fonts, 1, 180},
                      RouteCase{64, 64, false, 1, 6, 0, 0, 0, 2, GdiObjectWatch::Brushes, 2, 0},
                      RouteCase{64, 64, true, 1, 6, 0, 0, 0, 2, GdiObjectWatch::Pens, 2, 0},
                      RouteCase{64, 48, true, 1, 12, 0, 0, 0, 4},
                      RouteCase{64, 48, true, 1, 12, 0, 0, 0, 4, 0, 0, -1, Between::SmoothingChangesOnce}),
    [](const ::testing::TestParamInfo<RouteCase>& info) {
        return std::to_string(info.param.width) + "x" + std::to_string(info.param.height) +
               (info.param.grey ? "_grey" : "_rgb") +
               (info.param.otherWidth ? "_with_" + std::to_string(info.param.otherWidth) + "x" +
                                            std::to_string(info.param.otherHeight)
                                      : std::string()) +
               (info.param.brushlessEvery ? "_brushless_every_" + std::to_string(info.param.brushlessEvery)
                                          : std::string()) +
               (info.param.failing ? "_kinds_" + std::to_string(info.param.failing) + "_failing_at_" +
                                         std::to_string(info.param.failingFrame)
                                   : std::string()) +
               (info.param.countdowns > 1 ? "_" + std::to_string(info.param.countdowns) + "_countdowns"
                                          : std::string()) +
               (info.param.between == Between::SmoothingChangesOnce ? "_smoothing_changes" : std::string());
    });

// Each frame of whole countdowns reduced from the kept surface (from the last
// frame reduced there, where its pixels changed) is the whole rescale of the
// surface's pixels, at the build's sizes and the preview's, with a second
// size's frames in between.
TEST(KeptReduction, EveryFrameIsTheWholeRescaleOfItsSurface)
{
    struct {
        int width, height;
        int32_t start;
    } const cases[] = {{256, 256, 9}, {100, 88, 9}, {64, 64, 9}, {150, 100, 1}, {256, 64, 1}};
    FrameCache cache;
    for (const auto& c : cases) {
        LeaderCounter counter = {c.start, 360}, other = {9, 360};
        for (int frame = 0;; ++frame) {
            const Frame f = RenderBy(Route::Kept, &cache, {0, 0, c.width, c.height}, counter, LeaderSweepStep, c.start,
                                     FrameFormat::TrueColour);
            ASSERT_NE(f.block, nullptr);
            const KeptSurface& surface = cache.use(c.width * 4, c.height * 4)->surface;
            HGLOBAL whole = RescalePixels(surface.header(), surface.pixels(), c.width, c.height, 0, 1.0, nullptr);
            ASSERT_TRUE(SameBlockBytes(whole, f.block)) << c.width << "x" << c.height << " frame " << frame;
            FreeBlock(whole);
            if (!f.more) break;
            // The preview's frames come between a build's now and then.
            if (frame % 7 == 3) RenderBy(Route::Kept, &cache, {0, 0, 40, 30}, other, LeaderSweepStep, 9, FrameFormat::TrueColour);
        }
    }
}

// A delivered 256 x 256 frame of number 7 at angle 270, 24-bit and grey, saved
// as frame_7_at_270.bmp and frame_7_at_270_grey.bmp to look at.
TEST(FramePipeline, SavesDeliveredFramesOfSevenAt270)
{
    FrameCache cache;
    for (bool grey : {false, true}) {
        LeaderCounter counter = {7, 270};
        const Frame f = RenderBy(Route::Kept, &cache, {0, 0, 256, 256}, counter, LeaderSweepStep, 9, FormatOf(grey));
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
