// The kept surface's mapping and its header; a new shape drops what was known
// of its pixels and the frame reduced from them.
#include "render/kept_surface.h"

#include <cstring>
#include <new>

#include "win/dib_canvas.h"
#include "win/dib_stride.h"

namespace {

// The bytes of a 24-bit picture's rows, in 64 bits so that nothing wraps.
uint64_t PicturePixelBytes(int32_t width, int32_t height)
{
    return DibStride(width, 24) * static_cast<uint64_t>(height);
}

}  // namespace

bool KeptSurface::Fits(int32_t width, int32_t height)
{
    return width > 0 && height > 0 && PicturePixelBytes(width, height) <= MaxPixelBytes;
}

bool KeptSurface::shape(int32_t width, int32_t height)
{
    if (!Fits(width, height)) {
        release();
        return false;
    }
    const size_t pixels = static_cast<size_t>(PicturePixelBytes(width, height));
    if (!view_ || mappedBytes_ < PixelOffset + pixels) {
        release();
        mapping_ = MakePageFileMapping(PixelOffset + pixels);
        view_ = MapWholeView(mapping_.get(), PixelOffset + pixels);
        if (!view_) {
            release();
            return false;
        }
        mappedBytes_ = PixelOffset + pixels;
    }
    const BITMAPINFOHEADER header = Rgb24Header(width, height);
    // Pixels of another shape are neither the frame known to lie on them nor
    // the one reduced from them.
    if (std::memcmp(view_.get(), &header, sizeof header) != 0 || changed.width() != width ||
        changed.height() != height) {
        holds = {};
        reduction.forget();
        try {
            changed.resize(width, height);
        } catch (const std::bad_alloc&) {
            release();
            return false;
        }
    }
    std::memcpy(view_.get(), &header, sizeof header);
    return true;
}

void KeptSurface::release()
{
    view_.reset();
    mapping_.reset();
    mappedBytes_ = 0;
    holds = {};
    reduction = {};
    changed = {};
}
