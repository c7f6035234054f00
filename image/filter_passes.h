// The rescaler's two one-direction passes and the working memory they share.
//
// Every output channel is one double sum over its window of source pixels,
// taken in window order (acc starts at 0, acc += weight * value), then
// clamped to 0..255 and rounded half up with trunc(acc + 0.5). The passes
// reach that same sum faster than pixel-by-pixel access: weights are
// computed once per output index, rows are read directly, several sums run
// side by side in vector registers (filter_vectors.h), where every pixel a
// pass reads has red = green = blue the sum is taken once per pixel instead
// of three times, and a window whose source values are all one value c takes
// its result from a table of the sums of c for its weight set. None of this
// changes a single sum.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/filter_windows.h"

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

// Bytes of converted rows the vertical pass may keep for one window before it
// falls back to accumulating one row at a time (settable for tests).
extern uint64_t FilterRowCacheLimit;

// Bytes the windows of every output index of a pass may take; past it each
// window is computed when its output is reached, so that wide blurs of large
// pictures need memory for one window only (settable for tests).
extern uint64_t FilterWindowMemoryLimit;

// Whether the passes (and the grey reduction) may use 256-bit routines where
// the processor has them (settable for tests, which compare both ways with
// the plain reading).
extern bool UseWideVectors;

// Working memory of one rescale, shared by both passes and carved out of one
// block: the windows of the current pass, the rows of one vertical window
// converted to doubles, the constant-window tables and scratch rows. Its
// size is bounded whatever the blur: past FilterWindowMemoryLimit windows
// are computed one at a time, past FilterRowCacheLimit the vertical pass
// keeps one accumulator row instead of a window's rows.
struct FilterWorkspace {
    WindowTable windows;
    bool windowsAtOnce;       // false: one window at a time, in windows' first slot
    double* distances;        // one window's distances
    const double** rowPointers;
    size_t rowRoom;           // row slots of the row cache; 0 without one
    int32_t* runEnd;          // per block of lanes, how far down its run of alike rows reaches
    uint8_t* convertedBlocks; // per row slot and block of lanes, whether it holds doubles
    int16_t* constantSums;    // ConstantSumSets x 256 results of constant windows
    int32_t* valueChanges;    // pixels where a horizontal pass's rows change value
    uint8_t* outputsWritten;  // per output of a horizontal pass, whether it was taken from the table
    double* scratch;
    uint32_t capacity;        // weights per window at most
};

// Bytes the workspace needs for rescaling a sourceWidth x sourceHeight
// picture of `bits` per pixel to newWidth x newHeight with at most
// `capacity` weights per window; 0 when it cannot be addressed.
size_t FilterWorkspaceBytes(int32_t sourceWidth, int32_t sourceHeight, int32_t newWidth,
                            int32_t newHeight, uint32_t bits, uint32_t capacity);

// Lays the workspace out over memory of that many bytes. Nothing in it needs
// to be zero: the passes write everything before they read it.
FilterWorkspace MakeFilterWorkspace(void* memory, int32_t sourceWidth, int32_t sourceHeight,
                                    int32_t newWidth, int32_t newHeight, uint32_t bits,
                                    uint32_t capacity);

// The two passes, on pictures of 8, 24 or 32 bits. The horizontal pass
// keeps the height and changes the width; the vertical pass the other way
// round. Both write every pixel of the destination. The vertical pass
// answers whether every row it wrote is grey (24 bits, red = green = blue),
// which the horizontal pass may then take for granted of its source.
void HorizontalFilterPass(const PictureRows& source, const PictureRows& destination,
                          const PassScale& pass, const ResizeFilter& filter, FilterWorkspace& workspace,
                          bool sourceIsGrey);
bool VerticalFilterPass(const PictureRows& source, const PictureRows& destination,
                        const PassScale& pass, const ResizeFilter& filter, FilterWorkspace& workspace);
