// The frame pipeline read literally, step by step as its description gives
// it: an isotropic render target made from a packed DIB's own header, the
// painter, the pixels moved into the block, the per-pixel rescale and grey
// reduction of rescale_oracle.h. The reference the tests hold the plug-in's
// frames against, and the baseline the benchmark times it beside.
#pragma once

#include <windows.h>

#include <cstdint>

#include "render/leader_painter.h"

// The surface as first described: a DIB section made from a new 24-bit
// packed DIB's header, in a memory DC compatible with the screen, in
// MM_ISOTROPIC with window and viewport extents both the surface's size (one
// logical unit per pixel, y down). Finishing copies the pixels into the
// block and releases everything; the block stays for the caller.
struct LiteralRenderTarget {
    HGLOBAL block = nullptr;
    BITMAPINFOHEADER* header = nullptr;
    HBITMAP section = nullptr;
    HGDIOBJ previousBitmap = nullptr;
    void* pixels = nullptr;
    HDC memoryDc = nullptr;
    HDC screenDc = nullptr;
    RECT rect = {};
};
bool CreateLiteralRenderTarget(int32_t width, int32_t height, LiteralRenderTarget* target);
// Returns the block (the caller's), or null when none was made.
HGLOBAL FinishLiteralRenderTarget(LiteralRenderTarget* target);

// One delivered frame for `counter` (which steps), 24-bit or grey; null when
// something could not be made. *more as the pipeline gives it.
HGLOBAL LiteralLeaderFrame(const RECT& rect, LeaderCounter& counter, int32_t step, int32_t resetNumber, bool grey,
                           int32_t* more);
