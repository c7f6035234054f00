// The passes' arithmetic on many lanes at once, in one set of routines per
// instruction set. Each lane's sum is exactly the plain one: it starts at 0
// and adds weight x value for each contributor in window order, the multiply
// and the add each rounded to double (never fused), so summing lanes side by
// side changes nothing; it is then clamped to 0..255 and rounded half up.
//
// This header holds declarations only: the 256-bit routines are compiled with
// the AVX instruction set, and no inline function or template may be shared
// with that file, or the linker could keep its AVX copy for every caller.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/filter_windows.h"

struct VectorRoutines {
    // Single-channel rows that horizontalRows filters side by side.
    int rowsSideBySide;

    // Lanes [from, to) of out: lane i is the sum over k < count of
    // weights[k] x rows[k][i]. Spread 3 writes each result to the three
    // bytes of a grey pixel, spread 1 to one byte.
    void (*sumRows)(const double* const* rows, const double* weights, int32_t count, size_t from, size_t to,
                    uint8_t* out, int spread);

    // n bytes to n doubles.
    void (*bytesToDoubles)(const uint8_t* bytes, double* out, size_t n);

    // The first byte of each of `width` three-byte pixels to doubles; false
    // when some pixel's three bytes are not all the same.
    bool (*greyRowToDoubles)(const uint8_t* row, int32_t width, double* out);

    // rowsSideBySide single-channel rows, pixels `step` bytes apart, filtered
    // along their length with every window of the table; spread as above. A
    // null out marks an absent row: its in repeats the last row and nothing is
    // written. scratch: room for 4 x sourceWidth doubles. With `written`, an
    // output whose flag is set there has been written by the caller and may
    // be left alone (or written again with the same bytes).
    void (*horizontalRows)(const uint8_t* const* in, size_t step, int32_t sourceWidth, uint8_t* const* out,
                           int spread, const WindowTable& windows, double* scratch, const uint8_t* written);

    // One row of three- or four-byte pixels, each channel on its own.
    void (*horizontalColourRow)(const uint8_t* row, uint32_t bytesPerPixel, int32_t sourceWidth, uint8_t* out,
                                const WindowTable& windows, double* scratch);
};

// 128-bit routines: every processor the plug-in runs on has SSE2.
extern const VectorRoutines Sse2Routines;

#if defined(TOVANREL_HAVE_AVX)
// 256-bit routines, only for processors and systems with AVX (cpu_features.h).
extern const VectorRoutines AvxRoutines;

// The grey reduction's levels of `width` 24-bit pixels (blue, green, red),
// sixteen at a time with the byte shuffles every processor with AVX has:
// 77R/255 + 150G/255 + 28B/255, each term truncated (grey_reduce.h).
void AvxGreyLevels(const uint8_t* pixels, int32_t width, uint8_t* out);
#endif

// The routines the passes use: the 256-bit ones where the processor has them
// and UseWideVectors (filter_passes.h) lets them, else the 128-bit ones.
const VectorRoutines& PassRoutines();

// Helpers of the passes' bookkeeping, in 128-bit vectors.

// True when every pixel of a 24-bit row has equal red, green and blue.
bool IsGreyRow(const uint8_t* row, int32_t width);

// Whether every pixel of a 24-bit row is grey, given that `other` (a row of
// the same width, or null) is; and, with `other`, for each block of 16
// pixels where the rows differ, mark[block] = rowIndex. Reads each byte of
// the row once.
bool TakeInGreyRow(const uint8_t* row, const uint8_t* other, int32_t width, int32_t* mark, int32_t rowIndex);

// For each block of 16 bytes (the last may be shorter) where `row` differs
// from `other`, sets mark[block] = rowIndex.
void MarkChangedBlocks(const uint8_t* row, const uint8_t* other, size_t bytes, int32_t* mark, int32_t rowIndex);

// Lists, in order, the pixels p (0 < p < width) at which one of `rowCount`
// single-channel rows (pixels `step` bytes apart, 1 or 3) holds another
// value than at p - 1, a pixel's value being its first byte. `changes` has
// room for width entries; returns how many are listed.
size_t ListValueChanges(const uint8_t* const* rows, int rowCount, size_t step, int32_t width, int32_t* changes);

// How many of the n bytes from `bytes` on equal `value` before one differs.
size_t LeadingBytesEqual(const uint8_t* bytes, size_t n, uint8_t value);

// acc[i] += weight x row[i] for n lanes.
void AccumulateRow(double* acc, const double* row, double weight, size_t n);
