// Reduction of a 24-bit (or 32-bit) frame to 8-bit grey levels with the grey
// ramp as colour table: Y = 77R/255 + 150G/255 + 28B/255, each term
// truncated on its own.
#include "image/grey_reduce.h"

#include <cstdint>

#include "image/cpu_features.h"
#include "image/filter_passes.h"
#include "image/filter_vectors.h"

namespace {

// The three truncated terms for every channel value, computed once.
struct GreyTerms {
    uint8_t red[256], green[256], blue[256];
    GreyTerms()
    {
        for (int v = 0; v < 256; ++v) {
            red[v] = static_cast<uint8_t>(77 * v / 255);
            green[v] = static_cast<uint8_t>(150 * v / 255);
            blue[v] = static_cast<uint8_t>(28 * v / 255);
        }
    }
};

const GreyTerms& Terms()
{
    static const GreyTerms terms;
    return terms;
}

}  // namespace

void BuildGreyRamp(RgbPalette* palette)
{
    for (int i = 0; i < 256; ++i) palette->entries[i] = {uint8_t(i), uint8_t(i), uint8_t(i)};
}

HGLOBAL ReduceToGrey8(HGLOBAL source)
{
    if (!source) return nullptr;
    LockedDib from(source);
    if (!from) return nullptr;
    const BITMAPINFOHEADER* header = from.header();
    // Only true-colour frames are reduced; a palette frame has no grey level
    // of its own to give.
    const uint32_t bits = header->biBitCount;
    if (bits != 24 && bits != 32) return nullptr;
    const int32_t width = header->biWidth;
    const int32_t height = header->biHeight;

    RgbPalette ramp;
    BuildGreyRamp(&ramp);
    GlobalBlock output(CreatePackedDib(width, height, &ramp, 8));
    if (!output) return nullptr;
    {
        LockedDib to(output.get());
        if (!to) return nullptr;
        const GreyTerms& terms = Terms();
        const uint32_t step = bits / 8;
#if defined(TOVANREL_HAVE_AVX)
        // Sixteen 24-bit pixels at a time where the processor can (the same
        // truncated terms, in integers).
        if (bits == 24 && UseWideVectors && ProcessorHasAvx()) {
            for (int32_t y = 0; y < height; ++y) AvxGreyLevels(from.row(y), width, to.row(y));
            return output.release();
        }
#endif
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t* in = from.row(y);
            uint8_t* out = to.row(y);
            // Bytes of a pixel: blue, green, red (and a fourth, ignored).
            for (int32_t x = 0; x < width; ++x, in += step)
                out[x] = static_cast<uint8_t>(terms.red[in[2]] + terms.green[in[1]] + terms.blue[in[0]]);
        }
    }
    return output.release();
}
