// Frame pipeline figures, each beside a baseline timed in the same run: the
// kept route (what the dialog runs) against the plain route (every surface,
// block and buffer made and freed with its frame) and against the literal
// reading of the pipeline (tests/support/literal_frame.h: isotropic surface,
// per-pixel rescale and grey reduction). A 600-frame countdown at 256 x 256
// as a build makes it, from nothing kept: in all, its first frame, its first
// number's 60 frames (which learn the size's backdrops) and, once everything
// is learnt, a steady laid frame; the preview's frame; what is kept per size;
// and the parts of a frame.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/bench.h"
#include "image/grey_reduce.h"
#include "image/packed_dib.h"
#include "image/rescale.h"
#include "render/frame_cache.h"
#include "render/frame_pipeline.h"
#include "render/leader_painter.h"
#include "render/render_target.h"
#include "render/text_smoothing.h"
#include "tests/support/literal_frame.h"

namespace {

double Median(std::vector<double> times)
{
    if (times.empty()) return 0.0;
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

double Percentile(std::vector<double> times, int percent)
{
    if (times.empty()) return 0.0;
    std::sort(times.begin(), times.end());
    return times[std::min(times.size() - 1, times.size() * percent / 100)];
}

double Sum(const std::vector<double>& times, size_t from, size_t to)
{
    double sum = 0.0;
    for (size_t i = from; i < to && i < times.size(); ++i) sum += times[i];
    return sum;
}

FrameRequest RequestFor(int width, int height, FrameFormat format)
{
    FrameRequest request;
    request.rect = {0, 0, width, height};
    request.resetNumber = 9;
    request.format = format;
    return request;
}

// A whole countdown from 9, each frame timed (ms); false when a frame came
// back null. Without a cache, by the plain route.
bool TimeCountdown(FrameCache* cache, const FrameRequest& request, std::vector<double>* times)
{
    LeaderCounter counter = {9, 360};
    bool allMade = true;
    for (bool more = true; more;) {
        const double start = NowMs();
        LeaderFrame frame = RenderLeaderFrame(cache, request, counter);
        allMade = allMade && frame.block;
        frame.block.reset();
        times->push_back(NowMs() - start);
        more = frame.more;
    }
    return allMade;
}

// What is kept for one size (the cache holds that size alone), in all and in
// its parts, beside main's measure of the same in the same sitting.
void ReportKeptMemory(FrameCache& cache, int32_t surfaceWidth, int32_t surfaceHeight, double mainMegabytes)
{
    const KeptFrameSize* kept = cache.use(surfaceWidth, surfaceHeight);
    char line[120];
    std::snprintf(line, sizeof line, "kept memory for %dx%d frames, in all", surfaceWidth / 4, surfaceHeight / 4);
    char target[64];
    std::snprintf(target, sizeof target, "target <= 2 x main's %.2f MB", mainMegabytes);
    Report(line, cache.keptBytes() / 1e6, "MB", target);
    std::printf("    surface mapping and last reduced frame %.2f MB, layers and pictures %.2f MB, "
                "rescaler's working memory (shared by sizes) %.2f MB\n",
                kept->surface.keptBytes() / 1e6, kept->layers.keptBytes() / 1e6,
                cache.rescaleMemory().keptBytes() / 1e6);
}

void ReportRatio(const char* what, double baseline, double ours, const char* target)
{
    Report(what, baseline / ours, "x", target);
}

}  // namespace

double LiteralCountdownMs()
{
    static double total = -1.0;
    if (total >= 0.0) return total;
    // For quick runs while working: no literal reading, no ratio to it.
    if (std::getenv("TOVANREL_BENCH_NO_LITERAL")) return total = 0.0;
    const RECT rect = {0, 0, 256, 256};
    LeaderCounter counter = {9, 360};
    const double start = NowMs();
    for (int32_t more = 1; more;) {
        HGLOBAL frame = LiteralLeaderFrame(rect, counter, LeaderSweepStep, 9, true, &more);
        if (frame) GlobalFree(frame);
    }
    total = NowMs() - start;
    return total;
}

BENCH_CASE(Countdown, "countdown 600 frames 256x256")
{
    ReportLoad();
    const FrameRequest request = RequestFor(256, 256, FrameFormat::GreyPalette);
    FrameCache cache;
    std::vector<double> first, second, steady, plain;
    // From nothing kept, as the first build after the dialog opens; then
    // again (each number's first layings are checked in the first two); the
    // third lays every frame.
    const double start = NowMs();
    TimeCountdown(&cache, request, &first);
    const double total = NowMs() - start;
    TimeCountdown(&cache, request, &second);
    TimeCountdown(&cache, request, &steady);
    std::vector<double> steadyTrueColour;
    TimeCountdown(&cache, RequestFor(256, 256, FrameFormat::TrueColour), &steadyTrueColour);
    TimeCountdown(nullptr, request, &plain);
    const double plainTotal = Sum(plain, 0, plain.size());

    std::printf("  %zu frames, grey 8-bit, kept route from nothing kept (main 96b5155: 1.277 s in all; "
                "first number 320 ms; median 1.13 ms; 90th percentile 3.49 ms)\n", first.size());
    Report("countdown: in all", total / 1000.0, "s", "target <= 0.6 s");
    Report("countdown: its first frame", first.empty() ? 0.0 : first[0], "ms", "target <= 40 ms (main 101-149 ms)");
    Report("countdown: its first number's 60 frames (learning)", Sum(first, 0, 60), "ms", "target <= 160 ms (main 320 ms)");
    Report("countdown: median frame", Median(first), "ms", "main 1.13 ms");
    Report("countdown: 90th percentile frame", Percentile(first, 90), "ms", "main 3.49 ms");
    Report("second countdown: in all", Sum(second, 0, second.size()) / 1000.0, "s", "");
    Report("steady frame, grey (everything kept, every frame laid): median", Median(steady), "ms",
           "target <= 0.35 ms (main 1.21 ms)");
    Report("steady frame, 24-bit: median", Median(steadyTrueColour), "ms", "target <= 0.35 ms (main 1.05 ms)");
    Report("steady frame: 90th percentile", Percentile(steady, 90), "ms", "");
    Report("plain route (same run): countdown in all", plainTotal / 1000.0, "s", "");
    Report("plain route: median frame", Median(plain), "ms", "");
    ReportRatio("plain route / kept route, countdown in all", plainTotal, total, "");
    ReportKeptMemory(cache, 1024, 1024, 7.09);

    const double literal = LiteralCountdownMs();
    Report("literal reading (same run): countdown in all", literal / 1000.0, "s", "the issue's host: 48.55 s");
    ReportRatio("literal reading / kept route, countdown in all", literal, total, "target >= 80 x (main 34.8 x)");
    ReportLoad();
}

BENCH_CASE(Preview, "frame preview 100x88")
{
    ReportLoad();
    for (FrameFormat format : {FrameFormat::TrueColour, FrameFormat::GreyPalette}) {
        const char* name = format == FrameFormat::TrueColour ? "24-bit" : "grey";
        const FrameRequest request = RequestFor(100, 88, format);
        FrameCache cache;
        std::vector<double> learning, steady, plain;
        TimeCountdown(&cache, request, &learning);
        TimeCountdown(&cache, request, &learning);
        TimeCountdown(&cache, request, &steady);
        TimeCountdown(nullptr, request, &plain);
        char line[96];
        std::snprintf(line, sizeof line, "preview frame 100x88 %s, steady: median", name);
        Report(line, Median(steady), "ms", "target <= 0.15 ms (main 0.26 ms)");
        std::snprintf(line, sizeof line, "preview frame 100x88 %s, plain route (same run): median", name);
        Report(line, Median(plain), "ms", "");
        std::snprintf(line, sizeof line, "preview frame 100x88 %s, plain / kept", name);
        ReportRatio(line, Median(plain), Median(steady), "");
        ReportKeptMemory(cache, 400, 352, 1.30);
    }
}

namespace {

// The steps of one frame on their own, for a frame of width x height.
void FrameParts(int width, int height)
{
    const int w = width * 4, h = height * 4;
    char name[96];
    std::snprintf(name, sizeof name, "make and finish a fresh %dx%d render target", w, h);
    Report(name, MedianMs(21, [&] { FinishRenderTarget(CreateRenderTarget(w, h)); }), "ms", "");
    RenderTarget target = CreateRenderTarget(w, h);
    int32_t number = 5, angle = 200;
    std::snprintf(name, sizeof name, "PaintLeaderFrame on %dx%d (every layer with GDI)", w, h);
    Report(name, MedianMs(11, [&] {
               PaintLeaderFrame(target.dc(), &target.rect(), &number, &angle, LeaderSweepStep, 9);
               GdiFlush();
           }), "ms", "");
    // The kept route reads these for every frame it makes.
    Report("read the text smoothing settings (per kept frame)", MedianMs(101, [] { CurrentTextSmoothing(); }),
           "ms", "");
    GlobalBlock big = FinishRenderTarget(std::move(target));
    HGLOBAL small = nullptr;
    std::snprintf(name, sizeof name, "RescaleDibPercent %dx%d -> %dx%d", w, h, width, height);
    Report(name, MedianMs(21, [&] {
               if (small) GlobalFree(small);
               small = RescaleDibPercent(big.get(), 25, 25, 0);
           }), "ms", "");
    if (small) {
        std::snprintf(name, sizeof name, "ReduceToGrey8 %dx%d", width, height);
        Report(name, MedianMs(21, [&] {
                   if (HGLOBAL grey = ReduceToGrey8(small)) GlobalFree(grey);
               }), "ms", "");
        GlobalFree(small);
    }
}

}  // namespace

BENCH_CASE(FramePartsBuild, "frame parts 256x256") { FrameParts(256, 256); }
BENCH_CASE(FramePartsPreview, "frame parts 100x88") { FrameParts(100, 88); }
