// Runs of equal bytes in a 24-bit surface's pixel memory: how the kept
// layers are held and written, and how a box of the surface is walked run by
// run. The leader's opaque layers are a few long runs per row, so keeping
// and writing them as runs costs a small part of their pixels.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "image/changed_pixels.h"
#include "win/dib_stride.h"

// A run of bytes of one value. A backdrop is a set of these that covers every
// byte; the overlay covers only its own.
struct ByteRun {
    uint32_t offset;
    uint32_t length;
    uint8_t value;
};
using ByteRuns = std::vector<ByteRun>;

// Writes runs into pixel memory of the size they were learnt for.
void StampRuns(uint8_t* pixels, const ByteRuns& runs);
// The same, only where they overlap the runs `within` (what was just written
// over them: the rest of them is in the pixels already).
void StampRunsWithin(uint8_t* pixels, const ByteRuns& runs, const ByteRuns& within);

// The runs of `bytes` bytes of pixel memory, all of it; false (runs empty)
// when they would be more than maxRuns. Throws std::bad_alloc when memory
// runs out.
bool RunsOfBytes(const uint8_t* pixels, size_t bytes, size_t maxRuns, ByteRuns* runs);

// The runs of the backdrop `to` where it differs from the backdrop `from`
// (both of one size, covering every byte): stamped on pixels that hold
// `from`, they leave `to`. Throws std::bad_alloc when memory runs out.
ByteRuns BackdropDifference(const ByteRuns& from, const ByteRuns& to);

// The parts of `runs` (over a width x height 24-bit surface) that lie over
// the pixels of `region`. Throws std::bad_alloc when memory runs out.
ByteRuns RunsWithin(const ByteRuns& runs, const ChangedPixels& region, int32_t width, int32_t height);

// Marks the pixels of a width x height 24-bit surface that runs cover (a
// pixel whose bytes a run touches at all).
void MarkRunsChanged(ChangedPixels& changed, const ByteRuns& runs, int32_t width, int32_t height);
// Marks every pixel of a box of the surface (left, top, right, bottom from the top).
void MarkBoxChanged(ChangedPixels& changed, const RECT& box);

// The end of the run of equal bytes that starts at `from`, at most `bytes`.
size_t EndOfRun(const uint8_t* pixels, size_t from, size_t bytes);

// Calls visit(start, end, value, boxAt) for each part of a run that lies in
// `box` of a width x height 24-bit surface (bottom-up rows; the box counts
// from the top), in the order of the runs: start and end are offsets in the
// surface's pixel memory, boxAt the same place in a bottom-up 24-bit
// picture of the box. The runs are in order and cover what they cover once;
// only those that reach into the box's rows are walked, so sparse runs (a
// backdrop's difference from another) cost little. Stops, returning false,
// when visit does.
template <typename Visit>
bool ForEachRunInBox(const ByteRuns& runs, int32_t width, int32_t height, const RECT& box, Visit visit)
{
    if (box.left >= box.right || box.top >= box.bottom) return true;
    const size_t stride = static_cast<size_t>(DibStride(width, 24));
    const size_t boxStride = static_cast<size_t>(DibStride(box.right - box.left, 24));
    const size_t left = static_cast<size_t>(box.left) * 3, right = static_cast<size_t>(box.right) * 3;
    // The box's rows lie together in memory, the bottom one first.
    const size_t firstRow = static_cast<size_t>(height - box.bottom), lastRow = static_cast<size_t>(height - 1 - box.top);
    const size_t from = firstRow * stride + left, to = lastRow * stride + right;
    // The first run that reaches past `from` is the last starting at or
    // before it, or the next.
    auto run = std::upper_bound(runs.begin(), runs.end(), from, [](size_t at, const ByteRun& r) { return at < r.offset; });
    if (run != runs.begin() && size_t(run[-1].offset) + run[-1].length > from) --run;
    for (; run != runs.end() && run->offset < to; ++run) {
        const size_t runEnd = size_t(run->offset) + run->length;
        for (size_t row = std::max(firstRow, size_t(run->offset) / stride); row <= lastRow && row * stride < runEnd;
             ++row) {
            const size_t start = std::max(row * stride + left, size_t(run->offset));
            const size_t end = std::min(row * stride + right, runEnd);
            if (start >= end) continue;
            const size_t boxRow = (row - firstRow) * boxStride;
            if (!visit(start, end, run->value, boxRow + (start - row * stride - left))) return false;
        }
    }
    return true;
}
