// Finding, keeping and laying the leader's ring and crosshair pixels.
#include "render/leader_overlay.h"

#include <cstring>
#include <new>

#include "image/packed_dib.h"
#include "render/leader_layers.h"

namespace {

// Two surfaces' backgrounds: neither byte is a grey of the rings or crosshair,
// and a byte left as background differs between the two.
constexpr uint8_t FirstFill = 0x00;
constexpr uint8_t SecondFill = 0xFF;

// Draws the overlay on a fresh memory DC holding a 24-bit section filled with
// `fill`, then lets `use` read the pixels. False when something cannot be made.
template <typename Use>
bool DrawOverlayOn(const BITMAPINFO& info, size_t bytes, uint8_t fill, Use use)
{
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    void* pixels = nullptr;
    HBITMAP section = dc ? CreateDIBSection(dc, &info, DIB_RGB_COLORS, &pixels, nullptr, 0) : nullptr;
    HGDIOBJ previous = section ? SelectObject(dc, section) : nullptr;
    bool ok = false;
    if (previous && pixels) {
        GdiFlush();
        std::memset(pixels, fill, bytes);
        SetMapMode(dc, MM_TEXT);
        RECT rect = {0, 0, info.bmiHeader.biWidth, info.bmiHeader.biHeight};
        ok = PaintLeaderOverlay(dc, &rect);
        GdiFlush();
        if (ok) use(static_cast<const uint8_t*>(pixels));
    }
    if (previous) SelectObject(dc, previous);
    if (section) DeleteObject(section);
    if (dc) DeleteDC(dc);
    if (screen) ReleaseDC(nullptr, screen);
    return ok;
}

struct CachedOverlay {
    int32_t width = 0, height = 0;
    std::vector<OverlayRun> runs;
};
CachedOverlay g_cache[2];  // [0] is the one used last

}  // namespace

bool FindLeaderOverlay(int32_t width, int32_t height, std::vector<OverlayRun>* runs)
{
    runs->clear();
    if (width <= 0 || height <= 0 || width > 0x4000 || height > 0x4000) return false;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    const size_t bytes = static_cast<size_t>(height) * DibStride(width, 24);

    std::vector<uint8_t> first;
    bool ok = DrawOverlayOn(info, bytes, FirstFill, [&](const uint8_t* pixels) {
        first.assign(pixels, pixels + bytes);
    });
    ok = ok && DrawOverlayOn(info, bytes, SecondFill, [&](const uint8_t* second) {
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

const std::vector<OverlayRun>* CachedLeaderOverlay(int32_t width, int32_t height)
{
    try {
        for (int i = 0; i < 2; ++i) {
            if (g_cache[i].width == width && g_cache[i].height == height) {
                if (i == 1) std::swap(g_cache[0], g_cache[1]);
                return &g_cache[0].runs;
            }
        }
        CachedOverlay found;
        if (!FindLeaderOverlay(width, height, &found.runs)) return nullptr;
        found.width = width;
        found.height = height;
        found.runs.shrink_to_fit();
        g_cache[1] = std::move(g_cache[0]);
        g_cache[0] = std::move(found);
        return &g_cache[0].runs;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void StampLeaderOverlay(uint8_t* pixels, const std::vector<OverlayRun>& runs)
{
    for (const OverlayRun& run : runs) std::memset(pixels + run.offset, run.value, run.length);
}
