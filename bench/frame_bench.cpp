// Frame pipeline figures: whole frames at the build's largest size with and
// without the grey step, a preview-sized frame, a 600-frame countdown back to
// back, and the parts of a frame for comparison.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "bench/bench.h"
#include "image/grey_reduce.h"
#include "image/packed_dib.h"
#include "image/rescale.h"
#include "plugin/module_state.h"
#include "render/frame_pipeline.h"
#include "render/frame_routes.h"
#include "render/leader_painter.h"
#include "render/render_target.h"
#include "tests/support/palette_output.h"

namespace {

// Median time of one frame over a stretch of a countdown.
double FrameMs(FrameRoute route, int width, int height, int runs)
{
    RECT rect = {0, 0, width, height};
    int32_t number = 9, angle = 360;
    bool failed = false;
    const double ms = MedianMs(runs, [&] {
        int32_t more = 0;
        HGLOBAL frame = RenderLeaderFrameBy(route, &rect, &number, &angle, LeaderSweepStep, 9, &more);
        if (frame) GlobalFree(frame); else failed = true;
    });
    if (failed) std::printf("  (some frames came back null: is the rescaler in?)\n");
    return ms;
}

}  // namespace

BENCH_CASE(FrameBuildSize, "frame 256x256")
{
    // The first number of a size learns its kept layers; the figures are taken
    // after it (the countdown below includes it).
    FrameMs(FrameRoute::KeptOverlay, 256, 256, 60);
    {
        PaletteOutput output(false);
        Report("frame 256x256, 24-bit (median)", FrameMs(FrameRoute::KeptOverlay, 256, 256, 41), "ms", "");
    }
    {
        PaletteOutput output(true);
        Report("frame 256x256, grey 8-bit (median)", FrameMs(FrameRoute::KeptOverlay, 256, 256, 41), "ms",
               "target <= 6 ms");
        Report("frame 256x256, grey 8-bit, every layer with GDI (median)",
               FrameMs(FrameRoute::Plain, 256, 256, 11), "ms", "for comparison");
    }
}

BENCH_CASE(FramePreviewSize, "frame preview 100x95")
{
    FrameMs(FrameRoute::KeptOverlay, 100, 95, 60);
    {
        PaletteOutput output(false);
        Report("preview frame 100x95, 24-bit (median)", FrameMs(FrameRoute::KeptOverlay, 100, 95, 101), "ms",
               "target <= 3 ms");
    }
    {
        PaletteOutput output(true);
        Report("preview frame 100x95, grey 8-bit (median)", FrameMs(FrameRoute::KeptOverlay, 100, 95, 101),
               "ms", "target <= 3 ms");
    }
}

BENCH_CASE(FrameCountdown, "countdown 600 frames 256x256")
{
    // From nothing kept at this size, as a build right after opening the dialog.
    ReleaseKeptFrameMemory();
    PaletteOutput output(true);
    RECT rect = {0, 0, 256, 256};
    int32_t number = 9, angle = 360, more = 1;
    std::vector<double> times;
    const double start = NowMs();
    while (more) {
        const double before = NowMs();
        HGLOBAL frame = RenderLeaderFrame(&rect, &number, &angle, LeaderSweepStep, 9, &more);
        if (frame) GlobalFree(frame);
        times.push_back(NowMs() - before);
    }
    const double total = NowMs() - start;
    const int frames = static_cast<int>(times.size());
    double firstNumber = 0;
    for (int i = 0; i < 60 && i < frames; ++i) firstNumber += times[i];
    std::sort(times.begin(), times.end());
    std::printf("  %d frames; the first number's 60 (learning the kept layers) took %.0f ms\n", frames, firstNumber);
    Report("countdown from 9 at 256x256, grey 8-bit, total", total / 1000.0, "s", "target <= 4 s");
    Report("countdown from 9 at 256x256, grey 8-bit, median frame", times[times.size() / 2], "ms", "");
    Report("countdown from 9 at 256x256, grey 8-bit, 90th percentile frame", times[times.size() * 9 / 10], "ms", "");
    Report("countdown from 9 at 256x256, grey 8-bit, mean frame", total / frames, "ms", "");
}

namespace {

// The steps of one frame on their own, for a frame of width x height.
void FrameParts(int width, int height)
{
    const int w = width * 4, h = height * 4;
    char name[96];
    RenderTarget target;
    int32_t number = 5, angle = 200;
    std::snprintf(name, sizeof name, "make and finish a %dx%d render target", w, h);
    Report(name, MedianMs(21, [&] {
               CreateRenderTarget(w, h, &target);
               FinishRenderTarget(&target, 0);
           }), "ms", "");
    std::snprintf(name, sizeof name, "the same without the isotropic set-up (the pipeline's)");
    Report(name, MedianMs(21, [&] {
               CreatePixelRenderTarget(w, h, &target);
               FinishRenderTarget(&target, 0);
           }), "ms", "");
    CreateRenderTarget(w, h, &target);
    std::snprintf(name, sizeof name, "PaintLeaderFrame on %dx%d (every layer with GDI)", w, h);
    Report(name, MedianMs(11, [&] {
               PaintLeaderFrame(target.memoryDc, &target.rect, &number, &angle, LeaderSweepStep, 9);
               GdiFlush();
           }), "ms", "");
    for (int i = 0; i < 60; ++i)  // learn every angle first
        PaintRenderTargetBy(FrameRoute::KeptOverlay, &target, &number, &angle, LeaderSweepStep, 9);
    Report("one frame on the surface, kept layers laid, number with GDI", MedianMs(21, [&] {
               PaintRenderTargetBy(FrameRoute::KeptOverlay, &target, &number, &angle, LeaderSweepStep, 9);
               GdiFlush();
           }), "ms", "");
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
