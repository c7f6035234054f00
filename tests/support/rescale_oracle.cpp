// The rescaler read literally: one contributor window per output index,
// recomputed for every output pixel of that index's column (or row), every
// pixel read with GetDibPixel and written with SetDibPixel.
#include "tests/support/rescale_oracle.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "image/packed_dib.h"
#include "image/resize_kernels.h"

namespace {

struct Window {
    std::vector<int32_t> pixel;
    std::vector<double> weight;
};

Window MakeWindow(int32_t i, int32_t sourceLength, double f, const ResizeFilter& filter, double blur)
{
    double scale = blur * (1.0 / f > 1.0 ? 1.0 / f : 1.0);
    double support = scale * filter.support;
    if (support <= 0.5) {
        support = 0.500001;
        scale = 1.0;
    }
    double inverse = 1.0 / scale;
    double centre = (i + 0.5) / f;
    double low = centre - support + 0.5;
    double high = centre + support + 0.5;
    int32_t start = static_cast<int32_t>(low > 0.0 ? low : 0.0);
    int32_t end = static_cast<int32_t>(high < sourceLength ? high : static_cast<double>(sourceLength));
    Window w;
    double density = 0.0;
    for (int32_t p = start; p < end; ++p) {
        double weight = filter.weight((p - centre + 0.5) * inverse, filter.support);
        w.pixel.push_back(p);
        w.weight.push_back(weight);
        density += weight;
    }
    if (density != 0.0 && density != 1.0)
        for (double& weight : w.weight) weight *= 1.0 / density;
    return w;
}

int Channels(uint32_t bits) { return bits == 8 ? 1 : bits == 24 ? 3 : 4; }

// One output pixel: every source pixel of the window read once, each
// channel summed in window order, clamped and rounded half up.
uint32_t Filtered(const BITMAPINFOHEADER* from, const Window& w, bool alongRow, int32_t fixed)
{
    int channels = Channels(from->biBitCount);
    double acc[4] = {0.0, 0.0, 0.0, 0.0};
    for (size_t k = 0; k < w.pixel.size(); ++k) {
        uint32_t pixel = alongRow ? GetDibPixel(from, w.pixel[k], fixed) : GetDibPixel(from, fixed, w.pixel[k]);
        for (int c = 0; c < channels; ++c)
            acc[c] += w.weight[k] * static_cast<double>((pixel >> (8 * c)) & 0xFF);
    }
    uint32_t value = 0;
    for (int c = 0; c < channels; ++c) {
        uint32_t channel =
            acc[c] < 0.0 ? 0 : acc[c] > 255.0 ? 255 : static_cast<uint32_t>(std::trunc(acc[c] + 0.5));
        value |= channel << (8 * c);
    }
    return value;
}

void Horizontal(const BITMAPINFOHEADER* from, BITMAPINFOHEADER* to, double f, const ResizeFilter& filter, double blur)
{
    for (int32_t x = 0; x < to->biWidth; ++x) {
        Window w = MakeWindow(x, from->biWidth, f, filter, blur);
        for (int32_t y = 0; y < to->biHeight; ++y) SetDibPixel(to, x, y, Filtered(from, w, true, y));
    }
}

void Vertical(const BITMAPINFOHEADER* from, BITMAPINFOHEADER* to, double f, const ResizeFilter& filter, double blur)
{
    for (int32_t y = 0; y < to->biHeight; ++y) {
        Window w = MakeWindow(y, from->biHeight, f, filter, blur);
        for (int32_t x = 0; x < to->biWidth; ++x) SetDibPixel(to, x, y, Filtered(from, w, false, x));
    }
}

}  // namespace

HGLOBAL OracleRescaleDib(HGLOBAL source, int32_t newWidth, int32_t newHeight, int32_t filterIndex, double blur)
{
    if (filterIndex > 15) filterIndex = 15;
    if (filterIndex < 0) filterIndex = 0;
    BITMAPINFOHEADER* from = static_cast<BITMAPINFOHEADER*>(GlobalLock(source));
    if (!from) return nullptr;
    int32_t sw = from->biWidth, sh = from->biHeight;
    uint32_t bits = from->biBitCount;
    RgbPalette palette;
    GetPackedDibPalette(from, &palette);
    HGLOBAL result = CreatePackedDib(newWidth, newHeight, &palette, bits);
    if (!result) {
        GlobalUnlock(source);
        return nullptr;
    }
    if (newWidth == sw && newHeight == sh && blur == 1.0) {
        GlobalFree(result);
        GlobalUnlock(source);
        return DuplicateGlobalBlock(source);
    }
    double fx = static_cast<double>(newWidth) / sw;
    double fy = static_cast<double>(newHeight) / sh;
    if (fx < 0.0001) fx = 0.0001;
    if (fy < 0.0001) fy = 0.0001;
    int row = filterIndex != 0 ? filterIndex : (fx * fy > 1.0 ? 12 : 13);
    const ResizeFilter& filter = ResizeFilters[row];
    BITMAPINFOHEADER* to = static_cast<BITMAPINFOHEADER*>(GlobalLock(result));
    uint32_t a = static_cast<uint32_t>(newWidth) * static_cast<uint32_t>(sh + newHeight);
    uint32_t b = static_cast<uint32_t>(newHeight) * static_cast<uint32_t>(sw + newWidth);
    HGLOBAL middleBlock = a > b ? CreatePackedDib(newWidth, sh, &palette, bits)
                                : CreatePackedDib(sw, newHeight, &palette, bits);
    BITMAPINFOHEADER* middle = static_cast<BITMAPINFOHEADER*>(GlobalLock(middleBlock));
    if (a > b) {
        Horizontal(from, middle, fx, filter, blur);
        Vertical(middle, to, fy, filter, blur);
    } else {
        Vertical(from, middle, fy, filter, blur);
        Horizontal(middle, to, fx, filter, blur);
    }
    GlobalUnlock(middleBlock);
    GlobalFree(middleBlock);
    GlobalUnlock(result);
    GlobalUnlock(source);
    return result;
}

HGLOBAL OracleReduceToGrey8(HGLOBAL source)
{
    BITMAPINFOHEADER* from = static_cast<BITMAPINFOHEADER*>(GlobalLock(source));
    if (!from) return nullptr;
    RgbPalette ramp;
    for (int i = 0; i < 256; ++i) ramp.entries[i] = {uint8_t(i), uint8_t(i), uint8_t(i)};
    HGLOBAL result = CreatePackedDib(from->biWidth, from->biHeight, &ramp, 8);
    BITMAPINFOHEADER* to = static_cast<BITMAPINFOHEADER*>(GlobalLock(result));
    for (int32_t y = 0; y < from->biHeight; ++y)
        for (int32_t x = 0; x < from->biWidth; ++x) {
            uint32_t v = GetDibPixel(from, x, y);
            uint32_t r = v & 0xFF, g = (v >> 8) & 0xFF, b = (v >> 16) & 0xFF;
            SetDibPixel(to, x, y, 77 * r / 255 + 150 * g / 255 + 28 * b / 255);
        }
    GlobalUnlock(result);
    GlobalUnlock(source);
    return result;
}
