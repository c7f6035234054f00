// Frame pipeline figures: whole frames at the build's largest size with and
// without the grey step, a preview-sized frame, a 600-frame countdown back to
// back, and the parts of a frame for comparison.
#include <algorithm>
#include <vector>

#include "bench/bench.h"
#include "image/grey_reduce.h"
#include "image/packed_dib.h"
#include "image/rescale.h"
#include "plugin/module_state.h"
#include "render/frame_pipeline.h"
#include "render/frame_routes.h"
#include "render/kept_layers.h"
#include "render/leader_painter.h"
#include "render/render_target.h"

namespace {

class HostOutput {
public:
    explicit HostOutput(bool grey)
    {
        context_.size = sizeof context_;
        context_.version = 0x1100;
        context_.outputFlags = grey ? HostOutputPaletteImages : 0;
        SetCurrentHostContext(&context_);
    }
    ~HostOutput() { SetCurrentHostContext(nullptr); }

private:
    HostContext context_ = {};
};

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
        HostOutput output(false);
        Report("frame 256x256, 24-bit (median)", FrameMs(FrameRoute::KeptOverlay, 256, 256, 41), "ms", "");
    }
    {
        HostOutput output(true);
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
        HostOutput output(false);
        Report("preview frame 100x95, 24-bit (median)", FrameMs(FrameRoute::KeptOverlay, 100, 95, 101), "ms",
               "target <= 3 ms");
    }
    {
        HostOutput output(true);
        Report("preview frame 100x95, grey 8-bit (median)", FrameMs(FrameRoute::KeptOverlay, 100, 95, 101),
               "ms", "target <= 3 ms");
    }
}

BENCH_CASE(FrameCountdown, "countdown 600 frames 256x256")
{
    // From nothing kept at this size, as a build right after opening the dialog.
    KeptLayersFor(1, 1);
    KeptLayersFor(2, 2);
    HostOutput output(true);
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

BENCH_CASE(FrameParts, "frame parts 256x256")
{
    // The steps of one 256x256 frame on their own.
    RenderTarget target;
    int32_t number = 5, angle = 200;
    Report("make and finish a 1024x1024 render target", MedianMs(21, [&] {
               CreateRenderTarget(1024, 1024, &target);
               FinishRenderTarget(&target, 0);
           }), "ms", "");
    CreateRenderTarget(1024, 1024, &target);
    Report("PaintLeaderFrame on 1024x1024 (every layer with GDI)", MedianMs(11, [&] {
               PaintLeaderFrame(target.memoryDc, &target.rect, &number, &angle, LeaderSweepStep, 9);
               GdiFlush();
           }), "ms", "");
    Report("one frame on the surface, kept layers laid, number with GDI", MedianMs(21, [&] {
               PaintRenderTargetBy(FrameRoute::KeptOverlay, &target, &number, &angle, LeaderSweepStep, 9);
               GdiFlush();
           }), "ms", "");
    FinishRenderTarget(&target, KeepRenderTargetBlock);
    HGLOBAL big = target.block;
    HGLOBAL small = nullptr;
    Report("RescaleDibPercent 1024x1024 -> 256x256", MedianMs(21, [&] {
               if (small) GlobalFree(small);
               small = RescaleDibPercent(big, 25, 25, 0);
           }), "ms", "");
    if (small) {
        Report("ReduceToGrey8 256x256", MedianMs(21, [&] {
                   if (HGLOBAL grey = ReduceToGrey8(small)) GlobalFree(grey);
               }), "ms", "");
        GlobalFree(small);
    }
    GlobalFree(big);
}
