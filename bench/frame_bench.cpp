// Frame pipeline figures. The kept route (what the plug-in runs) against the
// fresh-surface route (every surface, block and working buffer made and freed
// for each frame: the pipeline's former lifecycle, kept here as the
// baseline), over whole countdowns with the two routes taking turns number by
// number, so that both see the same load and each runs its frames back to
// back as a build does; then a 600-frame countdown as a build makes it, and
// the parts of a frame.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "bench/bench.h"
#include "image/grey_reduce.h"
#include "image/packed_dib.h"
#include "image/rescale.h"
#include "render/frame_cache.h"
#include "render/frame_pipeline.h"
#include "render/frame_routes.h"
#include "render/leader_painter.h"
#include "render/render_target.h"
#include "render/text_smoothing.h"

namespace {

double Median(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// One frame of a countdown by a route, timed; false when no frame came back.
bool TimedFrame(FrameRoute route, FrameCache* cache, const RECT& rect, LeaderCounter* counter, FrameFormat format,
                std::vector<double>* times, int32_t* more)
{
    const double start = NowMs();
    HGLOBAL frame = RenderLeaderFrameBy(route, cache, &rect, &counter->number, &counter->angle, LeaderSweepStep, 9,
                                        format, more);
    if (frame) GlobalFree(frame);
    times->push_back(NowMs() - start);
    return frame != nullptr;
}

// Whole countdowns from 9 by the kept route and the baseline, one number
// (60 frames) of each in turn, from nothing kept; prints both medians and
// their ratio.
void CompareRoutes(const char* what, int width, int height, FrameFormat format, const char* goal)
{
    FrameCache cache;
    const RECT rect = {0, 0, width, height};
    LeaderCounter kept = {9, 360}, fresh = {9, 360};
    std::vector<double> keptMs, freshMs;
    bool allMade = true;
    for (int32_t more = 1; more;) {
        for (int32_t number = kept.number; more && kept.number == number;)
            allMade = TimedFrame(FrameRoute::Kept, &cache, rect, &kept, format, &keptMs, &more) && allMade;
        int32_t freshMore = 1;
        for (int32_t number = fresh.number; freshMore && fresh.number == number;)
            allMade = TimedFrame(FrameRoute::FreshSurface, &cache, rect, &fresh, format, &freshMs, &freshMore) && allMade;
    }
    if (!allMade) std::printf("  (some frames came back null)\n");
    char line[96];
    const double keptMedian = Median(keptMs), freshMedian = Median(freshMs);
    std::snprintf(line, sizeof line, "%s, kept route (median of %zu)", what, keptMs.size());
    Report(line, keptMedian, "ms", "");
    std::snprintf(line, sizeof line, "%s, fresh-surface baseline (median)", what);
    Report(line, freshMedian, "ms", "");
    std::snprintf(line, sizeof line, "%s, baseline / kept", what);
    Report(line, freshMedian / keptMedian, "x", goal);
}

}  // namespace

BENCH_CASE(FrameBuildSize, "frame 256x256")
{
    CompareRoutes("frame 256x256 grey", 256, 256, FrameFormat::GreyPalette, "goal >= 2.5 x");
    CompareRoutes("frame 256x256 24-bit", 256, 256, FrameFormat::TrueColour, "goal >= 2.5 x");
}

BENCH_CASE(FramePreviewSize, "frame preview 100x95")
{
    CompareRoutes("preview frame 100x95 24-bit", 100, 95, FrameFormat::TrueColour, "goal >= 2 x");
    CompareRoutes("preview frame 100x95 grey", 100, 95, FrameFormat::GreyPalette, "goal >= 2 x");
}

BENCH_CASE(FrameCountdown, "countdown 600 frames 256x256")
{
    // From nothing kept, as a build right after the dialog opens.
    FrameCache cache;
    RECT rect = {0, 0, 256, 256};
    LeaderCounter counter = {9, 360};
    std::vector<double> times;
    const double start = NowMs();
    for (int32_t more = 1; more;) TimedFrame(FrameRoute::Kept, &cache, rect, &counter, FrameFormat::GreyPalette, &times, &more);
    const double total = NowMs() - start;
    double firstNumber = 0;
    for (size_t i = 0; i < 60 && i < times.size(); ++i) firstNumber += times[i];
    std::printf("  %zu frames; the first number's 60 (learning the kept layers) took %.0f ms\n", times.size(),
                firstNumber);
    Report("countdown from 9 at 256x256, grey 8-bit, total", total / 1000.0, "s", "about 2 s on a quiet machine");
    Report("countdown from 9 at 256x256, grey 8-bit, median frame", Median(times), "ms", "");
    std::sort(times.begin(), times.end());
    Report("countdown from 9 at 256x256, grey 8-bit, 90th percentile frame", times[times.size() * 9 / 10], "ms", "");
}

namespace {

// The steps of one frame on their own, for a frame of width x height.
void FrameParts(int width, int height)
{
    const int w = width * 4, h = height * 4;
    char name[96];
    FrameCache cache;
    RenderTarget target;
    int32_t number = 5, angle = 200;
    std::snprintf(name, sizeof name, "make and finish a fresh %dx%d render target", w, h);
    Report(name, MedianMs(21, [&] {
               CreatePixelRenderTarget(w, h, &target);
               FinishRenderTarget(&target, 0);
           }), "ms", "");
    CreateRenderTarget(w, h, &target);
    std::snprintf(name, sizeof name, "PaintLeaderFrame on %dx%d (every layer with GDI)", w, h);
    Report(name, MedianMs(11, [&] {
               PaintLeaderFrame(target.dc(), &target.rect, &number, &angle, LeaderSweepStep, 9);
               GdiFlush();
           }), "ms", "");
    for (int i = 0; i < 60; ++i)  // learn every angle first
        PaintRenderTargetBy(FrameRoute::FreshSurface, &cache, &target, &number, &angle, LeaderSweepStep, 9);
    Report("one frame on a warm surface, kept layers laid, number with GDI", MedianMs(21, [&] {
               PaintRenderTargetBy(FrameRoute::FreshSurface, &cache, &target, &number, &angle, LeaderSweepStep, 9);
               GdiFlush();
           }), "ms", "");
    // The kept route reads these for every frame it makes.
    Report("read the text smoothing settings (per kept frame)", MedianMs(101, [] { CurrentTextSmoothing(); }),
           "ms", "");
    FinishRenderTarget(&target, KeepRenderTargetBlock);
    HGLOBAL big = target.block;
    HGLOBAL small = nullptr;
    std::snprintf(name, sizeof name, "RescaleDibPercent %dx%d -> %dx%d", w, h, width, height);
    Report(name, MedianMs(21, [&] {
               if (small) GlobalFree(small);
               small = RescaleDibPercent(big, 25, 25, 0);
           }), "ms", "");
    if (small) {
        std::snprintf(name, sizeof name, "ReduceToGrey8 %dx%d", width, height);
        Report(name, MedianMs(21, [&] {
                   if (HGLOBAL grey = ReduceToGrey8(small)) GlobalFree(grey);
               }), "ms", "");
        GlobalFree(small);
    }
    GlobalFree(big);
}

}  // namespace

BENCH_CASE(FramePartsBuild, "frame parts 256x256") { FrameParts(256, 256); }
BENCH_CASE(FramePartsPreview, "frame parts 100x95") { FrameParts(100, 95); }
