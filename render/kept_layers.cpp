// Learning, keeping and writing the leader's opaque layers.
#include "render/kept_layers.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

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
    return static_cast<size_t>(height) * DibStride(width, 24);
}

bool SideCanBeLearnt(int32_t width, int32_t height)
{
    return width > 0 && height > 0 && width <= KeptLayers::MaxSide && height <= KeptLayers::MaxSide;
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

// The end of the run of equal bytes that starts at `from`; eight bytes at a
// time, since a backdrop's runs are long (a learnt frame is 3 MiB at most).
size_t EndOfRun(const uint8_t* pixels, size_t from, size_t bytes)
{
    const uint8_t value = pixels[from];
    uint64_t pattern;
    std::memset(&pattern, value, sizeof pattern);
    size_t i = from + 1;
    while (i + 8 <= bytes) {
        uint64_t word;
        std::memcpy(&word, pixels + i, sizeof word);
        if (word != pattern) break;
        i += 8;
    }
    while (i < bytes && pixels[i] == value) ++i;
    return i;
}

ByteRun RunOf(size_t from, size_t to, uint8_t value)
{
    return {static_cast<uint32_t>(from), static_cast<uint32_t>(to - from), value};
}

}  // namespace

void StampRuns(uint8_t* pixels, const ByteRuns& runs)
{
    for (const ByteRun& run : runs) std::memset(pixels + run.offset, run.value, run.length);
}

ByteRuns BackdropDifference(const ByteRuns& from, const ByteRuns& to)
{
    // Both cover the same bytes: walk them side by side, piece by piece.
    ByteRuns changed;
    auto a = from.begin();
    size_t at = 0;
    for (const ByteRun& b : to) {
        const size_t bEnd = size_t(b.offset) + b.length;
        while (at < bEnd && a != from.end()) {
            const size_t end = std::min(bEnd, size_t(a->offset) + a->length);
            if (a->value != b.value) {
                if (!changed.empty() && changed.back().offset + changed.back().length == at &&
                    changed.back().value == b.value)
                    changed.back().length += static_cast<uint32_t>(end - at);
                else
                    changed.push_back(RunOf(at, end, b.value));
            }
            at = end;
            if (at == size_t(a->offset) + a->length) ++a;
        }
    }
    return changed;
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
        for (size_t i = 0; i < bytes;) {
            if (first[i] != second[i]) {
                ++i;
                continue;
            }
            size_t end = i + 1;
            while (end < bytes && first[end] == second[end] && first[end] == first[i]) ++end;
            runs->push_back(RunOf(i, end, first[i]));
            i = end;
        }
    });
    if (!ok) runs->clear();
    return ok;
}

bool DrawNumberOver(int32_t width, int32_t height, int32_t number, const RECT& box, std::vector<uint8_t>* rows)
{
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
    PaintLeaderNumber(picture.dc(), &surface, number);
    GdiFlush();
    std::memcpy(rows->data(), picture.bits(), rows->size());
    return true;
}

bool FindNumberBox(int32_t width, int32_t height, int32_t number, RECT* box)
{
    if (!SideCanBeLearnt(width, height)) return false;
    SetRect(box, width, height, 0, 0);
    const size_t stride = DibStride(width, 24);
    auto paintNumber = [number](HDC dc, const RECT* rect) {
        PaintLeaderNumber(dc, rect, number);
        return true;
    };
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

const ByteRuns* KeptLayers::backdrop(int32_t angle) const
{
    if (angle < 1 || angle > MaxAngle || backdrops_[angle].empty()) return nullptr;
    return &backdrops_[angle];
}

void KeptLayers::learnBackdrop(int32_t angle, const uint8_t* pixels)
{
    if (angle < 1 || angle > MaxAngle || backdropCount_ >= MaxBackdrops || !backdrops_[angle].empty()) return;
    if (width_ <= 0 || height_ <= 0 || width_ > MaxSide || height_ > MaxSide) return;
    const size_t bytes = SurfaceBytes(width_, height_);
    const size_t maxRuns = MaxBackdropRunsPerRow * static_cast<size_t>(height_);
    try {
        ByteRuns learnt;
        for (size_t i = 0; i < bytes;) {
            if (learnt.size() >= maxRuns) return;
            const size_t end = EndOfRun(pixels, i, bytes);
            learnt.push_back(RunOf(i, end, pixels[i]));
            i = end;
        }
        learnt.shrink_to_fit();
        backdrops_[angle] = std::move(learnt);
        ++backdropCount_;
    } catch (const std::bad_alloc&) {
    }
}

const ByteRuns* KeptLayers::overlay()
{
    if (overlayState_ == Overlay::NotTried) {
        overlayState_ = Overlay::CannotBeFound;
        try {
            ByteRuns runs;
            if (!FindLeaderOverlay(width_, height_, &runs)) return nullptr;
            runs.shrink_to_fit();
            overlay_ = std::move(runs);
            overlayState_ = Overlay::Found;
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }
    return overlayState_ == Overlay::Found ? &overlay_ : nullptr;
}

const RECT* KeptLayers::numberBox(int32_t number)
{
    for (const NumberBox& kept : numberBoxes_)
        if (kept.number == number) return kept.found ? &kept.box : nullptr;
    if (numberBoxes_.size() >= MaxNumberBoxes) return nullptr;
    try {
        NumberBox learnt = {number, false, {}};
        learnt.found = FindNumberBox(width_, height_, number, &learnt.box);
        numberBoxes_.push_back(learnt);
        return learnt.found ? &numberBoxes_.back().box : nullptr;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

const uint8_t* KeptLayers::numberOver(int32_t number, const RECT& box, uint8_t grey)
{
    if (number != numberDrawn_) {
        numberOverGreys_.clear();
        numberDrawn_ = number;
    }
    for (const NumberOverGrey& kept : numberOverGreys_)
        if (kept.grey == grey) return kept.rows.data();
    if (numberOverGreys_.size() >= MaxNumberGreys) return nullptr;
    try {
        NumberOverGrey learnt = {grey, {}};
        learnt.rows.assign(static_cast<size_t>(Rgb24Header(box.right - box.left, box.bottom - box.top).biSizeImage),
                           grey);
        if (!DrawNumberOver(width_, height_, number, box, &learnt.rows)) return nullptr;
        numberOverGreys_.reserve(MaxNumberGreys);
        numberOverGreys_.push_back(std::move(learnt));
        return numberOverGreys_.back().rows.data();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

namespace {

// Calls visit(start, end, value, boxRow) for each part of a run that lies in
// the box, in the order of the runs: start and end are offsets in the
// surface's pixel memory, boxRow the offset of that row in a bottom-up
// 24-bit picture of the box. The runs are in order and cover what they
// cover once. Stops, returning false, when visit does.
template <typename Visit>
bool ForEachRunInBox(const ByteRuns& runs, int32_t width, int32_t height, const RECT& box, Visit visit)
{
    const size_t stride = DibStride(width, 24);
    const size_t boxStride = DibStride(box.right - box.left, 24);
    for (LONG y = box.top; y < box.bottom; ++y) {
        // Rows are bottom-up; the box counts from the top.
        const size_t from = static_cast<size_t>(height - 1 - y) * stride + static_cast<size_t>(box.left) * 3;
        const size_t to = from + static_cast<size_t>(box.right - box.left) * 3;
        const size_t boxRow = static_cast<size_t>(box.bottom - 1 - y) * boxStride;
        // The first run that reaches into the row's part of the box is the
        // last starting at or before `from`, or the next.
        auto run = std::upper_bound(runs.begin(), runs.end(), from,
                                    [](size_t at, const ByteRun& r) { return at < r.offset; });
        if (run != runs.begin() && size_t(run[-1].offset) + run[-1].length > from) --run;
        for (; run != runs.end() && run->offset < to; ++run) {
            const size_t start = std::max<size_t>(from, run->offset);
            const size_t end = std::min(to, size_t(run->offset) + run->length);
            if (!visit(start, end, run->value, boxRow + (start - from))) return false;
        }
    }
    return true;
}

}  // namespace

bool KeptLayers::layNumber(uint8_t* pixels, const ByteRuns& beneath, int32_t number, const RECT& box)
{
    const size_t boxStride = DibStride(box.right - box.left, 24);
    return ForEachRunInBox(beneath, width_, height_, box, [&](size_t start, size_t end, uint8_t grey, size_t at) {
        // A run that starts or ends inside a pixel: that pixel is not one grey.
        const size_t inRow = at % boxStride;
        if (inRow % 3 != 0 || (inRow + (end - start)) % 3 != 0) return false;
        const uint8_t* over = numberOver(number, box, grey);
        if (!over) return false;
        std::memcpy(pixels + start, over + at, end - start);
        return true;
    });
}

bool KeptLayers::numberLaidAsDrawn(const ByteRuns& backdrop, int32_t number, const RECT& box)
{
    if (laying_ != Laying::Unchecked) return laying_ == Laying::Sound;
    bool greys[256] = {};
    int greyCount = 0;
    ForEachRunInBox(backdrop, width_, height_, box, [&](size_t, size_t, uint8_t grey, size_t) {
        if (!greys[grey]) greys[grey] = true, ++greyCount;
        return true;
    });
    // Over a field of one grey the pictures are what GDI draws: nothing to
    // learn from this box.
    if (greyCount < 2) return true;
    try {
        // The box as laid from the pictures, beside the box as GDI draws it
        // over the backdrop.
        const size_t bytes = Rgb24Header(box.right - box.left, box.bottom - box.top).biSizeImage;
        std::vector<uint8_t> laid(bytes), drawn(bytes);
        const bool composed =
            ForEachRunInBox(backdrop, width_, height_, box, [&](size_t start, size_t end, uint8_t grey, size_t at) {
                const uint8_t* over = numberOver(number, box, grey);
                if (!over) return false;
                std::memcpy(laid.data() + at, over + at, end - start);
                std::memset(drawn.data() + at, grey, end - start);
                return true;
            });
        if (!composed || !DrawNumberOver(width_, height_, number, box, &drawn)) return false;
        const bool same =
            ForEachRunInBox(backdrop, width_, height_, box, [&](size_t start, size_t end, uint8_t, size_t at) {
                return std::memcmp(laid.data() + at, drawn.data() + at, end - start) == 0;
            });
        laying_ = same ? Laying::Sound : Laying::Unsound;
        return same;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

size_t KeptLayers::keptBytes() const
{
    size_t bytes = overlay_.capacity() * sizeof(ByteRun) + numberBoxes_.capacity() * sizeof(NumberBox);
    bytes += numberOverGreys_.capacity() * sizeof(NumberOverGrey);
    for (const NumberOverGrey& picture : numberOverGreys_) bytes += picture.rows.capacity();
    for (const ByteRuns& runs : backdrops_) bytes += runs.capacity() * sizeof(ByteRun);
    return bytes;
}
