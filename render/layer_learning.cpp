// Drawing single layers on scratch surfaces (tile by tile where that is
// cheaper) and reading back what they changed.
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

// Appends the run [from, to) of `value`, joining it to the last when they meet.
void AddRun(ByteRuns* runs, size_t from, size_t to, uint8_t value)
{
    if (from >= to) return;
    if (!runs->empty() && size_t(runs->back().offset) + runs->back().length == from && runs->back().value == value) {
        runs->back().length += static_cast<uint32_t>(to - from);
        return;
    }
    runs->push_back({static_cast<uint32_t>(from), static_cast<uint32_t>(to - from), value});
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

bool BackdropRunsOf(const ByteRuns& outside, const uint8_t* pixels, int32_t width, int32_t height,
                    const ChangedPixels& region, ByteRuns* runs)
{
    runs->clear();
    const size_t stride = static_cast<size_t>(DibStride(width, 24));
    const size_t maxRuns = MaxBackdropRunsPerRow * static_cast<size_t>(height);
    auto from = outside.begin();
    // `outside`'s runs cut at [at, to), joined to what came before.
    auto addOutside = [&](size_t at, size_t to) {
        while (from != outside.end() && size_t(from->offset) + from->length <= at) ++from;
        for (auto run = from; run != outside.end() && run->offset < to; ++run)
            AddRun(runs, std::max<size_t>(at, run->offset), std::min(to, size_t(run->offset) + run->length), run->value);
    };
    // Memory holds the rows bottom-up.
    for (int32_t memoryRow = 0; memoryRow < height; ++memoryRow) {
        const size_t rowStart = static_cast<size_t>(memoryRow) * stride;
        const ChangedPixels::Span span = region.row(height - 1 - memoryRow);
        if (span.empty()) {
            addOutside(rowStart, rowStart + stride);
        } else {
            const size_t inside = rowStart + static_cast<size_t>(span.from) * 3;
            const size_t insideEnd = rowStart + static_cast<size_t>(span.to) * 3;
            addOutside(rowStart, inside);
            for (size_t i = inside; i < insideEnd;) {
                const size_t end = EndOfRun(pixels, i, insideEnd);
                AddRun(runs, i, end, pixels[i]);
                i = end;
            }
            addOutside(insideEnd, rowStart + stride);
        }
        if (runs->size() > maxRuns) {
            runs->clear();
            return false;
        }
    }
    runs->shrink_to_fit();
    return true;
}

bool FindLeaderOverlay(int32_t width, int32_t height, ByteRuns* runs)
{
    runs->clear();
    if (!SideCanBeLearnt(width, height)) return false;
    const RECT surface = {0, 0, width, height};
    const size_t stride = static_cast<size_t>(DibStride(width, 24));
    // Found tile by tile, band by band from the top: each memory row's runs
    // are gathered apart, then joined in memory order (bottom row first).
    std::vector<ByteRuns> rows(static_cast<size_t>(height));
    std::vector<uint8_t> first;
    DibCanvas tile;  // drawn on again while the tiles are of one size
    int32_t madeWidth = 0, madeHeight = 0;
    for (int32_t top = 0; top < height; top += OverlayTileSide) {
        for (int32_t left = 0; left < width; left += OverlayTileSide) {
            const int32_t tileWidth = std::min(OverlayTileSide, width - left);
            const int32_t tileHeight = std::min(OverlayTileSide, height - top);
            const BITMAPINFOHEADER header = Rgb24Header(tileWidth, tileHeight);
            if (!tile || madeWidth != tileWidth || madeHeight != tileHeight) {
                tile = DibCanvas(header);
                if (!tile) return false;
                madeWidth = tileWidth;
                madeHeight = tileHeight;
            }
            auto* bits = static_cast<uint8_t*>(tile.bits());
            const size_t tileStride = static_cast<size_t>(DibStride(tileWidth, 24));
            SetViewportOrgEx(tile.dc(), -left, -top, nullptr);
            for (uint8_t fill : {FirstFill, SecondFill}) {
                GdiFlush();
                std::memset(bits, fill, header.biSizeImage);
                if (!PaintLeaderOverlay(tile.dc(), &surface)) return false;
                GdiFlush();
                if (fill == FirstFill) first.assign(bits, bits + header.biSizeImage);
            }
            for (int32_t y = 0; y < tileHeight; ++y) {
                const size_t at = static_cast<size_t>(tileHeight - 1 - y) * tileStride;
                const uint8_t* a = first.data() + at;
                const uint8_t* b = bits + at;
                const size_t memoryRow = static_cast<size_t>(height - 1 - (top + y));
                const size_t offset = memoryRow * stride + static_cast<size_t>(left) * 3;
                const size_t bytes = static_cast<size_t>(tileWidth) * 3;
                for (size_t i = 0; i < bytes;) {
                    // Bytes left alone differ by all their bits: skip them eight at a time.
                    uint64_t wa, wb;
                    if (i + 8 <= bytes && (std::memcpy(&wa, a + i, 8), std::memcpy(&wb, b + i, 8), (wa ^ wb) == ~0ull)) {
                        i += 8;
                        continue;
                    }
                    if (a[i] != b[i]) {
                        ++i;
                        continue;
                    }
                    size_t end = i + 1;
                    while (end < bytes && a[end] == b[end] && a[end] == a[i]) ++end;
                    AddRun(&rows[memoryRow], offset + i, offset + end, a[i]);
                    i = end;
                }
            }
        }
    }
    for (const ByteRuns& row : rows)
        for (const ByteRun& run : row) AddRun(runs, run.offset, size_t(run.offset) + run.length, run.value);
    runs->shrink_to_fit();
    return true;
}

bool FindNumberBox(int32_t width, int32_t height, int32_t number, RECT* box)
{
    if (!SideCanBeLearnt(width, height)) return false;
    SetRect(box, width, height, 0, 0);
    const size_t stride = static_cast<size_t>(DibStride(width, 24));
    // One canvas for both fields: its pages are touched once.
    DibCanvas canvas(Rgb24Header(width, height));
    if (!canvas) return false;
    const RECT rect = {0, 0, width, height};
    for (uint8_t fill : {FirstFill, SecondFill}) {
        GdiFlush();
        std::memset(canvas.bits(), fill, SurfaceBytes(width, height));
        if (!PaintLeaderNumber(canvas.dc(), &rect, number)) return false;
        GdiFlush();
        const auto* pixels = static_cast<const uint8_t*>(canvas.bits());
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
    }
    if (IsRectEmpty(box)) return false;
    // A pixel more all round, within the surface.
    InflateRect(box, 1, 1);
    IntersectRect(box, box, &rect);
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
