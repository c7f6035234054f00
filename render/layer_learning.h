// Learning the leader's layers from GDI: each layer is drawn by the painter's
// own functions on scratch surfaces, and what it changed is read back. Every
// function here says false when any object it made for the drawing could not
// be made, so that nothing drawn without it is ever kept.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "image/changed_pixels.h"
#include "render/byte_runs.h"
#include "win/dib_canvas.h"

// The largest side learnt: the overlay and the number's box are found on
// surfaces this big.
constexpr int32_t MaxLearntSide = 0x4000;
bool SideCanBeLearnt(int32_t width, int32_t height);

// GDI's cost grows with the size of the device it draws on far faster than
// with what it draws (under Wine the two wide-pen rings take 47 ms on a
// 1024 x 1024 DIB section, 13 ms on its sixteen tiles of 256 x 256 or its
// four of 512 x 512, and a large pie 2 ms against 0.2 ms on one tile of 256),
// and what a small device holds of a drawing made at the coordinates of a
// whole surface, its viewport moved to where it lies, is that drawing's
// pixels there. So layers are drawn a tile at a time, on tiles of these
// sides (the best measured for each layer).
constexpr int32_t BackdropTileSide = 256;
constexpr int32_t OverlayTileSide = 512;

// Draws with paint(dc, surfaceRect), at the coordinates of the whole width x
// height surface, only over `region` of the surface's 24-bit pixel memory:
// on tiles of at most tileSide x tileSide, each starting as those pixels and
// giving back those of the region. `paint` returns false when an object
// could not be made. False when a tile's section cannot be made or `paint`
// said so; the region is then partly written.
template <typename Paint>
bool PaintOverRegion(uint8_t* pixels, int32_t width, int32_t height, const ChangedPixels& region, int32_t tileSide,
                     Paint paint)
{
    const RECT surface = {0, 0, width, height};
    const size_t stride = static_cast<size_t>(DibStride(width, 24));
    auto row = [&](int32_t y) { return pixels + static_cast<size_t>(height - 1 - y) * stride; };
    bool allMade = true;
    // A tile of the size of the last is drawn on the same section.
    DibCanvas tile;
    int32_t tileWidth = 0, tileHeight = 0;
    for (int32_t band = 0; band < height; band += tileSide) {
        const int32_t bandEnd = std::min(height, band + tileSide);
        ChangedPixels::Span hull;
        for (int32_t y = band; y < bandEnd; ++y) {
            const ChangedPixels::Span span = region.row(y);
            if (span.empty()) continue;
            hull = hull.empty() ? span : ChangedPixels::Span{std::min(hull.from, span.from), std::max(hull.to, span.to)};
        }
        for (int32_t left = hull.from; left < hull.to; left += tileSide) {
            const int32_t right = std::min(hull.to, left + tileSide);
            // The tile's rows: those of the band whose spans reach into its columns.
            int32_t top = bandEnd, bottom = band;
            for (int32_t y = band; y < bandEnd; ++y) {
                const ChangedPixels::Span span = region.row(y);
                if (span.empty() || span.to <= left || span.from >= right) continue;
                top = std::min(top, y);
                bottom = y + 1;
            }
            if (top >= bottom) continue;
            if (!tile || tileWidth != right - left || tileHeight != bottom - top) {
                tileWidth = right - left;
                tileHeight = bottom - top;
                tile = DibCanvas(Rgb24Header(tileWidth, tileHeight));
                if (!tile) return false;
            }
            GdiFlush();
            const size_t tileStride = static_cast<size_t>(DibStride(right - left, 24));
            auto* tilePixels = static_cast<uint8_t*>(tile.bits());
            auto tileRow = [&](int32_t y) { return tilePixels + static_cast<size_t>(bottom - 1 - y) * tileStride; };
            for (int32_t y = top; y < bottom; ++y)
                std::memcpy(tileRow(y), row(y) + static_cast<size_t>(left) * 3, static_cast<size_t>(right - left) * 3);
            SetViewportOrgEx(tile.dc(), -left, -top, nullptr);
            allMade = paint(tile.dc(), &surface) && allMade;
            GdiFlush();
            for (int32_t y = top; y < bottom; ++y) {
                const ChangedPixels::Span span = region.row(y);
                const int32_t from = std::max(span.from, left), to = std::min(span.to, right);
                if (from < to)
                    std::memcpy(row(y) + static_cast<size_t>(from) * 3, tileRow(y) + static_cast<size_t>(from - left) * 3,
                                static_cast<size_t>(to - from) * 3);
            }
        }
    }
    return allMade;
}

// The runs of a backdrop painted (and flushed) on a width x height 24-bit
// surface's pixel memory; false (runs empty) when they are too many to be a
// backdrop worth keeping. Throws std::bad_alloc when memory runs out.
bool BackdropRunsOf(const uint8_t* pixels, int32_t width, int32_t height, ByteRuns* runs);
// The same for pixels that hold a backdrop only inside `region`, when
// outside it the backdrop is `outside`'s (of the same size): its runs there,
// the pixels' runs inside.
bool BackdropRunsOf(const ByteRuns& outside, const uint8_t* pixels, int32_t width, int32_t height,
                    const ChangedPixels& region, ByteRuns* runs);

// Finds the rings' and crosshair's bytes for a width x height 24-bit surface
// with a frame rectangle covering it, by drawing them with PaintLeaderOverlay,
// tile by tile, over two fields of different uniform bytes: exactly the bytes
// equal in both are theirs. False (runs empty) when a tile or a pen could not
// be made.
bool FindLeaderOverlay(int32_t width, int32_t height, ByteRuns* runs);

// Finds the box that the number's text can change on a width x height
// surface: every pixel it gives another value on a black and on a white
// surface, and one pixel more all round, within the surface. The leader's
// backdrops are greys between the two, over which the same coverage changes
// no pixel that it leaves alone on black. False when a surface or the font
// cannot be made, or the text changes nothing.
bool FindNumberBox(int32_t width, int32_t height, int32_t number, RECT* box);

// Draws the number with PaintLeaderNumber, at the coordinates of a width x
// height surface, in a picture of its box: `rows` holds the picture's rows
// (bottom-up, 24-bit) beneath the number on entry and with it on return.
// False when the picture cannot be made (rows unchanged); *fontMade says
// whether the number's font was (without it, the rows are not GDI's number).
bool DrawNumberOver(int32_t width, int32_t height, int32_t number, const RECT& box, std::vector<uint8_t>* rows,
                    bool* fontMade);
