// The frame pipeline's hot path: a 1024 x 1024 x 24-bit frame reduced to
// 25 % with filter 0, on painted leader frames (from their rows with kept
// memory, and as blocks, in the same run, beside the arithmetic floor), on a
// grey leader-like frame and on colour noise, next to the plain per-pixel
// reading; and the grey reduction of the 256 x 256 result.
#include <cmath>
#include <cstring>
#include <utility>
#include <random>
#include <vector>

#include "bench/bench.h"
#include "image/cpu_features.h"
#include "image/filter_vectors.h"
#include "image/filter_windows.h"
#include "image/grey_reduce.h"
#include "image/packed_dib.h"
#include "image/rescale.h"
#include "render/leader_painter.h"
#include "render/render_target.h"
#include "tests/support/dib_compare.h"
#include "tests/support/rescale_oracle.h"

namespace {

constexpr int Frames = 50;
constexpr int OracleFrames = 5;

// Greys only, like a painted leader: a mid-grey field, a dark sector, a light
// wedge, two light rings and a crosshair, with soft (antialiased) edges.
HGLOBAL LeaderLikeFrame(int32_t size)
{
    HGLOBAL block = CreatePackedDib(size, size, nullptr, 24);
    LockedDib dib(block);
    const double c = size / 2.0;
    for (int32_t y = 0; y < size; ++y) {
        uint8_t* row = dib.row(y);
        for (int32_t x = 0; x < size; ++x) {
            double dx = x + 0.5 - c, dy = y + 0.5 - c;
            double r = std::sqrt(dx * dx + dy * dy);
            double angle = std::atan2(dx, -dy);  // clockwise from 12 o'clock
            double v = 150.0;
            if (angle > 0.0 && angle < 2.0) v = 90.0;
            if (angle < -2.5) v = 215.0;
            double ring1 = std::fabs(r - size * 0.30), ring2 = std::fabs(r - size * 0.40);
            double ring = std::min(ring1, ring2);
            if (ring < 5.0) v = 235.0 - (ring > 4.0 ? (ring - 4.0) * 85.0 : 0.0);
            if (std::fabs(dx) < 2.0 || std::fabs(dy) < 2.0) v = 30.0;
            uint8_t g = static_cast<uint8_t>(v);
            row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = g;
        }
    }
    return block;
}

HGLOBAL NoiseFrame(int32_t size)
{
    HGLOBAL block = CreatePackedDib(size, size, nullptr, 24);
    LockedDib dib(block);
    std::mt19937 random(42);
    for (int32_t y = 0; y < size; ++y) {
        uint8_t* row = dib.row(y);
        for (int32_t i = 0; i < 3 * size; ++i) row[i] = static_cast<uint8_t>(random());
    }
    return block;
}

void MeasureReduction(const char* what, HGLOBAL frame, double targetMs, bool compareOracle)
{
    HGLOBAL fast = RescaleDibPercent(frame, 25, 25, 0);
    HGLOBAL plain = OracleRescaleDib(frame, 256, 256, 0, 1.0);
    bool same = SameBlockBytes(fast, plain);
    GlobalFree(fast);
    GlobalFree(plain);

    double fastMs = MedianMs(Frames, [&] { GlobalFree(RescaleDibPercent(frame, 25, 25, 0)); });
    char line[160], target[80];
    std::snprintf(line, sizeof line, "%s: RescaleDibPercent 25%%, filter 0", what);
    std::snprintf(target, sizeof target, "target <= %.1f ms (median of %d)", targetMs, Frames);
    Report(line, fastMs, "ms", target);
    if (compareOracle) {
        double plainMs = MedianMs(OracleFrames, [&] { GlobalFree(OracleRescaleDib(frame, 256, 256, 0, 1.0)); });
        std::snprintf(line, sizeof line, "%s: per-pixel reading (oracle)", what);
        std::snprintf(target, sizeof target, "median of %d", OracleFrames);
        Report(line, plainMs, "ms", target);
        std::snprintf(line, sizeof line, "%s: speed-up over the per-pixel reading", what);
        Report(line, plainMs / fastMs, "x", "target >= 8 x");
    }
    std::snprintf(line, sizeof line, "%s: byte-identical to the per-pixel reading", what);
    Report(line, same ? 1.0 : 0.0, "", same ? "yes" : "NO - MISMATCH");
}

}  // namespace

BENCH_CASE(RescaleLeaderFrame, "rescale 1024x1024x24 -> 25% grey leader-like frame")
{
    HGLOBAL frame = LeaderLikeFrame(1024);
    MeasureReduction("grey leader-like", frame, 2.5, true);
    GlobalFree(frame);
}

namespace {

// A frame as the leader painter paints it at 4 x 256, one number and angle.
HGLOBAL PaintedFrame(int32_t number, int32_t angle)
{
    RenderTarget target = CreateRenderTarget(1024, 1024);
    if (!target) return nullptr;
    PaintLeaderFrame(target.dc(), &target.rect(), &number, &angle, LeaderSweepStep, 9);
    return FinishRenderTarget(std::move(target)).release();
}

// Multiply-adds of one reduction of a size x size grey picture to 25 % with
// filter 0, counted as the plain reading does them with one sum per grey
// pixel: every output row's window times the width in the vertical pass,
// every output column's window times the new height in the horizontal pass.
double GreyMultiplyAdds(int32_t size)
{
    const int32_t small = size / 4;
    const ResizeFilter& filter = ResizeFilters[Lanczos3FilterIndex];
    const PassScale pass = ScaleOfPass(0.25, filter, 1.0);
    double taps = 0.0;
    for (int32_t i = 0; i < small; ++i) taps += SpanOfWindow(i, size, pass).count;
    return taps * size + taps * small;
}

// Multiply-adds per millisecond of the rescaler's own vector sums (256-bit
// where the processor has them), on 24 rows small enough to stay in the
// first-level cache: the rate no rescale can beat.
double MultiplyAddsPerMs()
{
    constexpr int32_t Rows = 24;
    constexpr size_t Lanes = 128;
    const VectorRoutines& routines =
#if defined(TOVANREL_HAVE_AVX)
        ProcessorHasAvx() ? AvxRoutines :
#endif
                          Sse2Routines;
    std::vector<double> values(Rows * Lanes), weights(Rows, 1.0 / Rows);
    const double* rows[Rows];
    for (int32_t k = 0; k < Rows; ++k) {
        for (size_t i = 0; i < Lanes; ++i) values[k * Lanes + i] = static_cast<double>((k * 7 + i) & 0xFF);
        rows[k] = &values[k * Lanes];
    }
    std::vector<uint8_t> out(Lanes);
    constexpr int Calls = 2000;
    const double ms = MedianMs(15, [&] {
        for (int c = 0; c < Calls; ++c) routines.sumRows(rows, weights.data(), Rows, 0, Lanes, out.data(), 1);
    });
    return Calls * double(Rows) * Lanes / ms;
}

}  // namespace

BENCH_CASE(RescalePaintedFrames, "rescale 1024x1024x24 -> 25% painted leader frames")
{
    ReportLoad();
    // Sixty frames of one number, as the painter paints them at 4 x 256.
    std::vector<HGLOBAL> frames;
    for (int32_t angle = 360; angle > 0; angle -= LeaderSweepStep) {
        HGLOBAL frame = PaintedFrame(7, angle);
        if (!frame) {
            std::printf("  (the painter made no frame)\n");
            for (HGLOBAL f : frames) GlobalFree(f);
            return;
        }
        frames.push_back(frame);
    }
    // Each frame is first written into one kept surface, as the pipeline
    // paints into its kept surface just before rescaling it: both routes read
    // a frame that has just been written, the one from the surface's rows
    // with kept memory, the other from the surface as a block.
    GlobalBlock surfaceBlock(CreatePackedDib(1024, 1024, nullptr, 24));
    const HGLOBAL surface = surfaceBlock.get();
    LockedDib surfaceDib(surface);
    const size_t surfaceBytes = GlobalSize(surface);
    auto lay = [&](HGLOBAL frame) {
        LockedDib dib(frame);
        std::memcpy(surfaceDib.header(), dib.header(), surfaceBytes);
    };
    RescaleMemory memory;
    auto fromRows = [&] {
        return RescalePixels(surfaceDib.header(), DibPixelBits(surfaceDib.header()), 256, 256, 0, 1.0, &memory);
    };
    bool same = true;
    for (size_t i = 0; i < frames.size(); i += 15) {
        lay(frames[i]);
        HGLOBAL kept = fromRows();
        HGLOBAL block = RescaleDibPercent(surface, 25, 25, 0);
        HGLOBAL plain = OracleRescaleDib(surface, 256, 256, 0, 1.0);
        same = same && SameBlockBytes(plain, kept) && SameBlockBytes(plain, block);
        for (HGLOBAL h : {kept, block, plain}) GlobalFree(h);
    }
    // Both routes in turn on every frame, three times round the number, so
    // that drifts of the machine's speed fall on both alike.
    std::vector<double> keptMs, blockMs;
    for (int round = 0; round < 3; ++round)
        for (HGLOBAL frame : frames) {
            lay(frame);
            keptMs.push_back(MedianMs(1, [&] { GlobalFree(fromRows()); }));
            lay(frame);
            blockMs.push_back(MedianMs(1, [&] { GlobalFree(RescaleDibPercent(surface, 25, 25, 0)); }));
        }
    std::sort(keptMs.begin(), keptMs.end());
    std::sort(blockMs.begin(), blockMs.end());
    const double kept = keptMs[keptMs.size() / 2], block = blockMs[blockMs.size() / 2];
    const double floorMs = GreyMultiplyAdds(1024) / MultiplyAddsPerMs();
    const double plainMs = MedianMs(OracleFrames, [&] { GlobalFree(OracleRescaleDib(frames[0], 256, 256, 0, 1.0)); });

    Report("painted leader: RescalePixels with kept memory", kept, "ms", "target about 1.2 ms quiet (median of 180)");
    Report("painted leader: RescaleDibPercent (fresh working blocks)", block, "ms", "median of 180, same run");
    Report("painted leader: RescaleDibPercent / RescalePixels", block / kept, "x", "");
    Report("painted leader: multiply-adds per frame (grey, prescribed sums)", GreyMultiplyAdds(1024) / 1e6, "M", "");
    Report("painted leader: arithmetic floor at the measured rate", floorMs, "ms", "");
    Report("painted leader: RescalePixels / floor", kept / floorMs, "x", "");
    Report("painted leader: per-pixel reading (oracle)", plainMs, "ms", "median of 5");
    Report("painted leader: kept memory", memory.keptBytes() / 1048576.0, "MB", "");
    Report("painted leader: byte-identical to the per-pixel reading", same ? 1.0 : 0.0, "", same ? "yes" : "NO - MISMATCH");
    for (HGLOBAL f : frames) GlobalFree(f);
}

BENCH_CASE(RescaleNoiseFrame, "rescale 1024x1024x24 -> 25% colour noise")
{
    HGLOBAL frame = NoiseFrame(1024);
    MeasureReduction("colour noise", frame, 5.0, true);
    GlobalFree(frame);
}

BENCH_CASE(ReduceGrey, "ReduceToGrey8 256x256")
{
    HGLOBAL frame = NoiseFrame(256);
    HGLOBAL fast = ReduceToGrey8(frame);
    HGLOBAL plain = OracleReduceToGrey8(frame);
    bool same = SameBlockBytes(fast, plain);
    GlobalFree(fast);
    GlobalFree(plain);
    double ms = MedianMs(Frames, [&] { GlobalFree(ReduceToGrey8(frame)); });
    Report("ReduceToGrey8 256x256x24", ms, "ms", "target well under 1 ms");
    Report("ReduceToGrey8: byte-identical to the per-pixel reading", same ? 1.0 : 0.0, "", same ? "yes" : "NO - MISMATCH");
    GlobalFree(frame);
}
