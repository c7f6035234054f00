// The frame pipeline's kept 4x surface: its pixels live in a page-file
// mapping laid out as a packed DIB (header at 0, rows at 40) that the
// plug-in keeps mapped. A frame that GDI paints on the whole surface makes
// its DIB section on the mapping and releases it within the call; the
// plug-in writes the kept layers and reads the painted pixels through its own
// view, whose pages stay in from frame to frame instead of being allocated,
// touched and freed for every frame. With it is kept the last frame reduced
// from it, so that the next is reduced only where its pixels changed.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "image/changed_pixels.h"
#include "image/kept_rescale.h"
#include "win/kernel_owners.h"

class KeptSurface {
public:
    // Where the rows begin in the mapping: right behind the header (a 24-bit
    // picture has no colour table).
    static constexpr DWORD PixelOffset = sizeof(BITMAPINFOHEADER);
    // Only surfaces up to the largest the dialog asks for (a 256 x 256
    // frame's: 1024 x 1024 x 3 bytes) are kept; larger ones are made per frame.
    static constexpr uint64_t MaxPixelBytes = 1024ull * 1024ull * 3ull;

    // True when a width x height 24-bit picture is small enough to keep.
    static bool Fits(int32_t width, int32_t height);

    // Makes this a width x height surface: maps zeroed room for it unless the
    // mapping has that much already, and writes its header. False (holding
    // nothing) when it does not fit or cannot be mapped.
    bool shape(int32_t width, int32_t height);
    void release();

    // What the pixels hold, when the last frame made on them is known whole:
    // that frame's angle's backdrop everywhere but in its number's box and
    // under the overlay, all three as they are kept, and the number laid from
    // its pictures or drawn by GDI. Anything else written on them, a frame
    // left unfinished or a new mapping makes it unknown. Written by the
    // learner.
    struct Holds {
        bool known = false;
        int32_t angle = 0, number = 0;
        bool numberLaid = false;  // from the kept pictures (else drawn with GDI)
    };
    Holds holds;

    // The surface's own account of its pixels: which may have changed since
    // the last frame was reduced from them (the maker marks them as it
    // writes; a reduction clears them), and that reduction.
    ChangedPixels changed;
    KeptRescale reduction;

    explicit operator bool() const { return static_cast<bool>(view_); }
    HANDLE mapping() const { return mapping_.get(); }
    BITMAPINFOHEADER* header() const { return static_cast<BITMAPINFOHEADER*>(view_.get()); }
    uint8_t* pixels() const { return static_cast<uint8_t*>(view_.get()) + PixelOffset; }
    // What the mapping and the reduction hold, header included; 0 when
    // nothing is mapped.
    size_t keptBytes() const { return view_ ? mappedBytes_ + reduction.keptBytes() : 0; }

private:
    FileMapping mapping_;
    MappedView view_;
    size_t mappedBytes_ = 0;
};
