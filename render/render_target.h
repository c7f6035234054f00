// The offscreen 24-bit GDI surface the frame pipeline paints on: a DIB
// section selected into a memory DC, either made from a packed DIB's own
// header (the painted pixels pass into the block in one straight move when
// the target is finished) or made on the kept surface's mapping (the pixels
// stay there, read through the plug-in's own view).
#pragma once

#include <windows.h>

#include <cstdint>

#include "win/dib_canvas.h"
#include "win/gdi_owners.h"
#include "win/kernel_owners.h"

class KeptSurface;

// Owned by whoever declares it. Everything but the block is released by its
// owner, bottom up (FinishRenderTarget does it at once, in the same order).
struct RenderTarget {
    HGLOBAL block = nullptr;             // packed DIB describing the surface; after a keeping finish, the caller's
    BITMAPINFOHEADER* header = nullptr;  // the surface's header: the locked block's, or the kept surface's
    void* pixels = nullptr;              // where the painted pixels are read
    RECT rect = {};                      // (0, 0, width, height)

    LockedGlobal blockLock;              // holds the block locked while the section is made from it
    WindowDc screenDc;                   // GetDC(nullptr), for a surface made from a block
    DibCanvas canvas;                    // the section in a memory DC compatible with the screen

    // Where to paint.
    HDC dc() const { return canvas.dc(); }
};

// Returns 1 with the surface ready (one logical unit per pixel, y down), or 0
// after finishing the target with its block discarded.
int CreateRenderTarget(int32_t width, int32_t height, RenderTarget* target);

// The same surface left in MM_TEXT, for a caller that paints in MM_TEXT at
// once: the isotropic set-up above would be replaced before anything is
// drawn, and under Wine each of its extent calls costs a query of the
// device's proportions (about half a millisecond when the machine is busy).
int CreatePixelRenderTarget(int32_t width, int32_t height, RenderTarget* target);

// A target on a made kept surface, in MM_TEXT, with no block and no screen
// DC: header and pixels are the kept surface's own. 1, or 0 after finishing.
int CreateRenderTargetOn(const KeptSurface& surface, RenderTarget* target);

// Flushes drawing, copies the pixels into the block (when there is one) and
// releases every GDI object and the lock. Bit 0 of flags keeps the block in
// target->block for the caller; otherwise it is freed. Always returns 1; a
// second finish is harmless.
constexpr uint32_t KeepRenderTargetBlock = 0x1;
int FinishRenderTarget(RenderTarget* target, uint32_t flags);
