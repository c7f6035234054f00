// The offscreen 24-bit GDI surface a frame is painted on: a DIB section in a
// memory DC, made either from a packed DIB's own header (finishing copies the
// painted pixels into the block in one straight move and hands the block
// over) or on the kept surface's mapping (the pixels stay there).
#pragma once

#include <windows.h>

#include <cstdint>

#include "win/dib_canvas.h"
#include "win/gdi_owners.h"
#include "win/kernel_owners.h"

class KeptSurface;

// Owns everything it made; moves, never copies. Going, it releases bottom up
// (the section deselected and deleted, its DC, the screen's DC, the block's
// lock) and frees a block it still holds. In MM_TEXT: one logical unit is one
// pixel and y grows downward.
class RenderTarget {
public:
    RenderTarget() = default;
    RenderTarget(RenderTarget&&) noexcept = default;
    RenderTarget& operator=(RenderTarget&& other) noexcept;
    ~RenderTarget() { release(); }

    // False for a target that could not be made (it then holds nothing).
    explicit operator bool() const { return static_cast<bool>(canvas_); }
    HDC dc() const { return canvas_.dc(); }
    const RECT& rect() const { return rect_; }
    const BITMAPINFOHEADER* header() const { return header_; }
    // Where the painted pixels are read; flush GDI first.
    uint8_t* pixels() const { return pixels_; }

private:
    friend RenderTarget CreateRenderTarget(int32_t width, int32_t height);
    friend RenderTarget CreateRenderTargetOn(const KeptSurface& surface);
    friend GlobalBlock FinishRenderTarget(RenderTarget&& target);
    void release();

    // Declared in the order they are made, so that they go in reverse.
    GlobalBlock block_;                   // the packed DIB the section was made from; none on a kept surface
    LockedGlobal blockLock_;              // holds the block locked while the section lives
    WindowDc screenDc_;                   // GetDC(nullptr), for a surface made from a block
    DibCanvas canvas_;                    // the section in a memory DC compatible with the screen
    BITMAPINFOHEADER* header_ = nullptr;  // the locked block's header, or the kept surface's
    uint8_t* pixels_ = nullptr;
    RECT rect_ = {};                      // (0, 0, width, height)
};

// A width x height surface made from a new 24-bit packed DIB's header, in
// MM_TEXT; empty when the block, its lock, the DC or the section cannot be
// had (whatever was made is released again).
RenderTarget CreateRenderTarget(int32_t width, int32_t height);

// A surface on a shaped kept surface's mapping, in MM_TEXT, with no block and
// no screen DC: header and pixels are the kept surface's own. Empty when the
// DC or the section cannot be made.
RenderTarget CreateRenderTargetOn(const KeptSurface& surface);

// Flushes GDI, copies the painted pixels into the block and releases every
// GDI object, DC and the lock, then hands the block, which now holds the
// picture, to the caller. Empty for a target made on a kept surface.
GlobalBlock FinishRenderTarget(RenderTarget&& target);
