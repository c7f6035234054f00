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

constexpr int32_t MaxKeptSide = 0x4000;

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

KeptLayers g_kept[2];  // [0] is the size used last

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

}  // namespace

bool FindLeaderOverlay(int32_t width, int32_t height, std::vector<OverlayRun>* runs)
{
    runs->clear();
    if (width <= 0 || height <= 0 || width > MaxKeptSide || height > MaxKeptSide) return false;
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
            runs->push_back({static_cast<uint32_t>(i), static_cast<uint32_t>(end - i), first[i]});
            i = end;
        }
    });
    if (!ok) runs->clear();
    return ok;
}

void KeptLayers::reset(int32_t width, int32_t height)
{
    width_ = width;
    height_ = height;
    overlayFound_ = false;
    std::vector<OverlayRun>().swap(overlay_);
    std::vector<KeptBackdrop>().swap(backdrops_);
}

const KeptBackdrop* KeptLayers::backdrop(int32_t angle) const
{
    for (const KeptBackdrop& b : backdrops_)
        if (b.angle == angle) return &b;
    return nullptr;
}

void KeptLayers::learnBackdrop(int32_t angle, const uint8_t* pixels)
{
    if (backdrops_.size() >= MaxBackdrops || backdrop(angle)) return;
    const size_t bytes = SurfaceBytes(width_, height_);
    const size_t maxRuns = MaxBackdropRunsPerRow * static_cast<size_t>(height_);
    try {
        KeptBackdrop learnt;
        learnt.angle = angle;
        for (size_t i = 0; i < bytes;) {
            if (learnt.starts.size() >= maxRuns) return;
            const uint8_t value = pixels[i];
            learnt.starts.push_back(static_cast<uint32_t>(i));
            learnt.values.push_back(value);
            i = EndOfRun(pixels, i, bytes);
        }
        learnt.starts.shrink_to_fit();
        learnt.values.shrink_to_fit();
        backdrops_.push_back(std::move(learnt));
    } catch (const std::bad_alloc&) {
    }
}

const std::vector<OverlayRun>* KeptLayers::overlay()
{
    if (!overlayFound_) {
        try {
            std::vector<OverlayRun> runs;
            if (!FindLeaderOverlay(width_, height_, &runs)) return nullptr;
            runs.shrink_to_fit();
            overlay_ = std::move(runs);
            overlayFound_ = true;
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }
    return &overlay_;
}

KeptLayers* KeptLayersFor(int32_t width, int32_t height)
{
    if (width <= 0 || height <= 0 || width > MaxKeptSide || height > MaxKeptSide) return nullptr;
    if (g_kept[0].width() == width && g_kept[0].height() == height) return &g_kept[0];
    std::swap(g_kept[0], g_kept[1]);
    if (g_kept[0].width() != width || g_kept[0].height() != height) g_kept[0].reset(width, height);
    return &g_kept[0];
}

void StampBackdrop(uint8_t* pixels, size_t bytes, const KeptBackdrop& backdrop)
{
    const size_t runs = backdrop.starts.size();
    for (size_t i = 0; i < runs; ++i) {
        const size_t end = i + 1 < runs ? backdrop.starts[i + 1] : bytes;
        std::memset(pixels + backdrop.starts[i], backdrop.values[i], end - backdrop.starts[i]);
    }
}

void StampOverlay(uint8_t* pixels, const std::vector<OverlayRun>& runs)
{
    for (const OverlayRun& run : runs) std::memset(pixels + run.offset, run.value, run.length);
}
