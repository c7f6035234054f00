// Drawing single layers on scratch surfaces and reading back what they changed.
#include "render/layer_learning.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "image/packed_dib.h"
#include "render/leader_layers.h"
#include "win/dib_canvas.h"

namespace {

// The two surfaces' uniform bytes: neither is a byte of the rings or the
// crosshair, and a byte left as it was differs between the two.
constexpr uint8_t FirstFill = 0x00;
constexpr uint8_t SecondFill = 0xFF;

// A backdrop is a handful of runs per row (background, sector, background);
// anything much busier is not kept.
constexpr size_t MaxBackdropRunsPerRow = 8;

size_t SurfaceBytes(int32_t width, int32_t height)
{
    return static_cast<size_t>(height) * static_cast<size_t>(DibStride(width, 24));
}

// Paints a layer with `paint` (false when an object of it could not be made)
// on a fresh surface filled with `fill`, then lets `use` read the pixels.
// False when something cannot be made or `use` runs out of memory; the
// surface is released on every path.
template <typename Paint, typename Use>
bool DrawLayerOn(int32_t width, int32_t height, uint8_t fill, Paint paint, Use use)
{
    DibCanvas canvas(Rgb24Header(width, height));
    if (!canvas) return false;
    GdiFlush();
    std::memset(canvas.bits(), fill, SurfaceBytes(width, height));
    SetMapMode(canvas.dc(), MM_TEXT);
    RECT rect = {0, 0, width, height};
    if (!paint(canvas.dc(), &rect)) return false;
    GdiFlush();
    try {
        use(static_cast<const uint8_t*>(canvas.bits()));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

}  // namespace

bool SideCanBeLearnt(int32_t width, int32_t height)
{
    return width > 0 && height > 0 && width <= MaxLearntSide && height <= MaxLearntSide;
}

bool BackdropRunsOf(const uint8_t* pixels, int32_t width, int32_t height, ByteRuns* runs)
{
    return RunsOfBytes(pixels, SurfaceBytes(width, height), MaxBackdropRunsPerRow * static_cast<size_t>(height), runs);
}

bool FindLeaderOverlay(int32_t width, int32_t height, ByteRuns* runs)
{
    runs->clear();
    if (!SideCanBeLearnt(width, height)) return false;
    const size_t bytes = SurfaceBytes(width, height);
    std::vector<uint8_t> first;
    bool ok = DrawLayerOn(width, height, FirstFill, PaintLeaderOverlay, [&](const uint8_t* pixels) {
        first.assign(pixels, pixels + bytes);
    });
    ok = ok && DrawLayerOn(width, height, SecondFill, PaintLeaderOverlay, [&](const uint8_t* second) {
        *runs = RunsWhereEqual(first.data(), second, bytes);
    });
    if (!ok) runs->clear();
    return ok;
}

bool FindNumberBox(int32_t width, int32_t height, int32_t number, RECT* box)
{
    if (!SideCanBeLearnt(width, height)) return false;
    SetRect(box, width, height, 0, 0);
    const size_t stride = static_cast<size_t>(DibStride(width, 24));
    auto paintNumber = [number](HDC dc, const RECT* rect) { return PaintLeaderNumber(dc, rect, number); };
    for (uint8_t fill : {FirstFill, SecondFill}) {
        const bool drawn = DrawLayerOn(width, height, fill, paintNumber, [&](const uint8_t* pixels) {
            for (int32_t row = 0; row < height; ++row) {
                // Rows are bottom-up; the box counts from the top.
                const uint8_t* bytes = pixels + static_cast<size_t>(height - 1 - row) * stride;
                const size_t rowBytes = static_cast<size_t>(width) * 3;
                const size_t first = bytes[0] == fill ? EndOfRun(bytes, 0, rowBytes) : 0;
                if (first == rowBytes) continue;
                size_t last = rowBytes - 1;
                while (bytes[last] == fill) --last;
                box->left = std::min<LONG>(box->left, static_cast<LONG>(first / 3));
                box->right = std::max<LONG>(box->right, static_cast<LONG>(last / 3 + 1));
                box->top = std::min<LONG>(box->top, row);
                box->bottom = std::max<LONG>(box->bottom, row + 1);
            }
        });
        if (!drawn) return false;
    }
    if (IsRectEmpty(box)) return false;
    // A pixel more all round, within the surface.
    InflateRect(box, 1, 1);
    const RECT surface = {0, 0, width, height};
    IntersectRect(box, box, &surface);
    return true;
}

bool DrawNumberOver(int32_t width, int32_t height, int32_t number, const RECT& box, std::vector<uint8_t>* rows,
                    bool* fontMade)
{
    *fontMade = false;
    const BITMAPINFOHEADER header = Rgb24Header(box.right - box.left, box.bottom - box.top);
    if (rows->size() != header.biSizeImage) return false;
    DibCanvas picture(header);
    if (!picture) return false;
    GdiFlush();
    std::memcpy(picture.bits(), rows->data(), rows->size());
    // The text is placed as on the whole surface: moved by the viewport
    // origin, not by a shifted rectangle (DrawText's halving truncates toward
    // zero, so a shifted rectangle could centre it a pixel off).
    SetViewportOrgEx(picture.dc(), -box.left, -box.top, nullptr);
    const RECT surface = {0, 0, width, height};
    *fontMade = PaintLeaderNumber(picture.dc(), &surface, number);
    GdiFlush();
    std::memcpy(rows->data(), picture.bits(), rows->size());
    return true;
}
