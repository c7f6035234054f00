// The kept surface's mapping and its header.
#include "render/kept_surface.h"

#include <cstring>

#include "win/dib_canvas.h"

namespace {

// The bytes of a 24-bit picture's rows, in 64 bits so that nothing wraps.
uint64_t SurfacePixelBytes(int32_t width, int32_t height)
{
    const uint64_t stride = ((static_cast<uint64_t>(width) * 24 + 31) / 32) * 4;
    return stride * static_cast<uint64_t>(height);
}

}  // namespace

bool KeptSurface::Fits(int32_t width, int32_t height)
{
    return width > 0 && height > 0 && SurfacePixelBytes(width, height) <= MaxPixelBytes;
}

bool KeptSurface::make(int32_t width, int32_t height)
{
    if (view_) return true;
    if (!Fits(width, height)) return false;
    const BITMAPINFOHEADER header = Rgb24Header(width, height);
    const size_t pixels = static_cast<size_t>(SurfacePixelBytes(width, height));
    mapping_ = MakePageFileMapping(PixelOffset + pixels);
    view_ = MapWholeView(mapping_.get(), PixelOffset + pixels);
    if (!view_) {
        release();
        return false;
    }
    std::memcpy(view_.get(), &header, sizeof header);
    pixelBytes_ = pixels;
    return true;
}

void KeptSurface::release()
{
    view_.reset();
    mapping_.reset();
    pixelBytes_ = 0;
}
