// Separable filtered rescaling of packed DIBs (8, 24 and 32 bits) with a
// table of sixteen kernels; index 0 lets the rescaler choose (Mitchell when
// the area grows, Lanczos-3 otherwise).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// A new block of newWidth x newHeight with the source's depth and colour
// table, or null. The source keeps its contents and its lock count. The only
// global block it allocates is the result (working memory is heap memory of
// the call).
HGLOBAL RescaleDib(HGLOBAL source, int32_t newWidth, int32_t newHeight, int32_t filterIndex,
                   double blur);

// Rescales by percentages, each new side rounded to the nearest pixel.
HGLOBAL RescaleDibPercent(HGLOBAL source, int32_t horizontalPercent, int32_t verticalPercent,
                          int32_t filterIndex);

// Working memory a rescaler keeps between calls: the windows, the
// intermediate picture and the scratch rows, in one block of ordinary heap
// memory (never a global block or a GDI object). It grows to what the largest
// call needs, up to its keep limit; a call that needs more takes its memory for
// the length of the call only. Reducing 1024 x 1024 x 24 bits to 256 x 256
// keeps about 1.5 MB (0.75 MB of it the intermediate picture, which a
// KeptRescale holds itself); the leader's preview sizes need less, so a build
// and the preview interleaving through one RescaleMemory share one block.
class RescaleMemory {
public:
    static constexpr size_t DefaultKeepLimit = 16u << 20;

    explicit RescaleMemory(size_t keepLimit = DefaultKeepLimit) : keepLimit_(keepLimit) {}
    ~RescaleMemory() { release(); }
    RescaleMemory(const RescaleMemory&) = delete;
    RescaleMemory& operator=(const RescaleMemory&) = delete;

    // Frees everything kept; the next call allocates afresh.
    void release();
    size_t keptBytes() const { return bytes_; }

    // At least `bytes` bytes, 64-byte aligned, kept for the next call; null
    // when bytes exceed the keep limit or the heap has no room (what was kept
    // before stays kept then). Its contents are whatever the last user left.
    void* reserve(size_t bytes);

private:
    size_t keepLimit_;
    void* block_ = nullptr;
    size_t bytes_ = 0;
};

// RescaleDib of a picture given by its header and its pixel rows instead of a
// block: `header` is a BITMAPINFOHEADER followed, for 8 bits, by its colour
// table (as in a BITMAPINFO), and `pixels` holds biHeight bottom-up rows laid
// out as the header describes, for instance a DIB section's memory. The
// result is the block RescaleDib would make of a block holding that header,
// table and rows, byte for byte, with the same failure outcomes (null, and
// nothing left allocated). With `memory`, working memory is taken from it and
// kept there for the next call; with null, it is allocated and freed within
// the call. The only global block allocated is the result. Never throws.
HGLOBAL RescalePixels(const BITMAPINFOHEADER* header, const void* pixels, int32_t newWidth,
                      int32_t newHeight, int32_t filterIndex, double blur, RescaleMemory* memory);
