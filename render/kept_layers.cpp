// Learning, keeping and writing the leader's opaque layers.
#include "render/kept_layers.h"

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

// Draws the overlay on a fresh surface filled with `fill`, then lets `use`
// read the pixels. False when something cannot be made or `use` runs out of
// memory; the surface is released on every path.
template <typename Use>
bool DrawOverlayOn(int32_t width, int32_t height, uint8_t fill, Use use)
{
    DibCanvas canvas(Rgb24Header(width, height));
    if (!canvas) return false;
    GdiFlush();
    std::memset(canvas.bits(), fill, SurfaceBytes(width, height));
    SetMapMode(canvas.dc(), MM_TEXT);
    RECT rect = {0, 0, width, height};
    if (!PaintLeaderOverlay(canvas.dc(), &rect)) return false;
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

bool FindLeaderOverlay(int32_t width, int32_t height, ByteRuns* runs)
{
    runs->clear();
    if (width <= 0 || height <= 0 || width > KeptLayers::MaxSide || height > KeptLayers::MaxSide) return false;
    const size_t bytes = SurfaceBytes(width, height);
    std::vector<uint8_t> first;
    bool ok = DrawOverlayOn(width, height, FirstFill, [&](const uint8_t* pixels) {
        first.assign(pixels, pixels + bytes);
    });
    ok = ok && DrawOverlayOn(width, height, SecondFill, [&](const uint8_t* second) {
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

size_t KeptLayers::keptBytes() const
{
    size_t bytes = overlay_.capacity() * sizeof(ByteRun);
    for (const ByteRuns& runs : backdrops_) bytes += runs.capacity() * sizeof(ByteRun);
    return bytes;
}
