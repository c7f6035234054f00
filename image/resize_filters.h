// The rescaler's filter table and its two one-direction passes.
//
// Every output channel is one double sum over its window of source pixels,
// taken in window order (acc starts at 0, acc += weight * value), then
// clamped to 0..255 and rounded half up with trunc(acc + 0.5). The passes
// below reach that same sum faster than pixel-by-pixel access: weights are
// computed once per output index, rows are read directly, several pixels are
// summed side by side with SSE2 (or, where the processor has it, AVX)
// doubles with separate multiplies and adds, and where every pixel a pass
// reads has red = green = blue the sum is taken once per pixel instead of
// three times. None of this changes a single sum.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// A picture's pixel rows as the passes read and write them: `height` rows of
// `width` pixels of `bits` (8, 24 or 32), stored bottom-up `stride` bytes
// apart from `bottom`, the first row in memory. The passes never write
// through a source's view.
struct PictureRows {
    uint8_t* bottom;
    size_t stride;
    int32_t width, height;
    uint32_t bits;
};

// One row of the filter table: the kernel and its half-width.
struct ResizeFilter {
    double (*weight)(double x, double support);
    double support;
};

constexpr int ResizeFilterCount = 16;
extern const ResizeFilter ResizeFilters[ResizeFilterCount];

// Table rows the automatic choice (index 0) picks from.
constexpr int MitchellFilterIndex = 12;
constexpr int Lanczos3FilterIndex = 13;

// The Bessel function of the first kind of order one, to double precision.
double BesselJ1(double x);

// One entry of an output pixel's window: source index along the pass's axis
// and its (normalised) weight.
struct FilterContributor {
    int32_t pixel;
    double weight;
};

// The window of output index `index` of a pass over sourceLength pixels:
// fills at most `room` contributors and returns their number.
int32_t FilterWindow(int32_t index, int32_t sourceLength, double factor, const ResizeFilter& filter,
                     double blur, FilterContributor* contributors, size_t room);

// Bytes of converted rows the vertical pass may keep for one window before it
// falls back to accumulating one row at a time (settable for tests).
extern uint64_t FilterRowCacheLimit;

// Whether the vertical pass may use 256-bit vectors where the processor has
// them (settable for tests, which compare both ways with the plain reading).
extern bool UseWideVectors;

// Working memory of one rescale, shared by both passes and carved out of one
// global-memory block: every output index's window for the current pass
// (room for `capacity` entries each, fewer when the source is shorter), the
// rows of one vertical window, and scratch rows.
struct FilterWorkspace {
    FilterContributor* contributors = nullptr;
    int32_t* windowStart = nullptr;
    int32_t* windowCount = nullptr;
    const double** rowPointers = nullptr;
    int32_t* cachedRow = nullptr;
    double* scratch = nullptr;
    uint32_t capacity = 0;       // contributors per window at most
    size_t contributorRoom = 0;  // entries in contributors
    size_t outputRoom = 0;       // entries in windowStart / windowCount
    size_t rowRoom = 0;          // entries in rowPointers / cachedRow
    size_t scratchRoom = 0;      // doubles in scratch
};

// Bytes the workspace needs for rescaling a sourceWidth x sourceHeight
// picture of `bits` per pixel to newWidth x newHeight with at most
// `capacity` contributors per window; 0 when it cannot be addressed.
size_t FilterWorkspaceBytes(int32_t sourceWidth, int32_t sourceHeight, int32_t newWidth,
                            int32_t newHeight, uint32_t bits, uint32_t capacity);

// Lays the workspace out over `bytes` bytes of memory (as sized above).
FilterWorkspace MakeFilterWorkspace(void* memory, int32_t sourceWidth, int32_t sourceHeight,
                                    int32_t newWidth, int32_t newHeight, uint32_t bits,
                                    uint32_t capacity);

// The two passes, on pictures of 8, 24 or 32 bits. The horizontal pass
// keeps the height and changes the width; the vertical pass the other way
// round. Both write every pixel of the destination.
void HorizontalFilterPass(const PictureRows& source, const PictureRows& destination,
                          double factor, const ResizeFilter& filter, double blur,
                          FilterWorkspace& workspace);
void VerticalFilterPass(const PictureRows& source, const PictureRows& destination,
                        double factor, const ResizeFilter& filter, double blur,
                        FilterWorkspace& workspace);

// True when every pixel of a 24-bit picture has equal red, green and blue.
bool IsGreyPicture(const PictureRows& picture);
