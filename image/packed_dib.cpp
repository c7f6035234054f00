// Packed DIB blocks: creation, inspection, single-pixel access, duplication.
#include "image/packed_dib.h"

#include <cstdint>
#include <cstring>

namespace {

bool IsPixelDepth(uint32_t bits)
{
    return bits == 1 || bits == 4 || bits == 8 || bits == 24 || bits == 32;
}

// The byte holding pixel (x, y), or null outside the picture or for an odd
// depth. y is checked before the row is located, x after.
const uint8_t* PixelAddress(const BITMAPINFOHEADER* header, int32_t x, int32_t y)
{
    if (!header || !IsPixelDepth(header->biBitCount)) return nullptr;
    if (y < 0 || y >= header->biHeight) return nullptr;
    uint32_t bits = header->biBitCount;
    if (!DibRowsFit(header->biWidth, header->biHeight, bits)) return nullptr;
    const uint8_t* row = DibPixelBits(header) + static_cast<size_t>(header->biHeight - 1 - y) *
                                                    static_cast<size_t>(DibStride(header->biWidth, bits));
    if (x < 0 || x >= header->biWidth) return nullptr;
    switch (bits) {
    case 1: return row + x / 8;
    case 4: return row + x / 2;
    case 8: return row + x;
    case 24: return row + 3 * static_cast<size_t>(x);
    default: return row + 4 * static_cast<size_t>(x);
    }
}

}  // namespace

uint32_t NormalizeBitCount(uint32_t bits)
{
    if (bits == 1) return 1;
    if (bits >= 2 && bits <= 4) return 4;
    if (bits >= 5 && bits <= 8) return 8;
    if (bits >= 9 && bits <= 24) return 24;
    return 32;
}

HGLOBAL CreatePackedDib(int32_t width, int32_t height, const RgbPalette* palette, uint32_t bits)
{
    bits = NormalizeBitCount(bits);
    if (!DibRowsFit(width, height, bits)) return nullptr;
    const uint64_t imageBytes = DibImageBytes(width, height, bits);
    const uint32_t entries = bits <= 8 ? (1u << bits) : 0;
    const uint64_t total = sizeof(BITMAPINFOHEADER) + 4ull * entries + imageBytes;
    if (total > 0xFFFFFFFFull || total > SIZE_MAX) return nullptr;

    BITMAPINFOHEADER header = {};
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = static_cast<WORD>(bits);
    header.biCompression = BI_RGB;
    header.biSizeImage = static_cast<DWORD>(imageBytes);
    header.biClrUsed = entries;
    header.biClrImportant = entries;

    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, static_cast<SIZE_T>(total));
    if (!block) return nullptr;
    auto* bytes = static_cast<uint8_t*>(GlobalLock(block));
    if (!bytes) {
        GlobalFree(block);
        return nullptr;
    }
    std::memcpy(bytes, &header, sizeof header);
    if (palette) {
        auto* table = reinterpret_cast<RGBQUAD*>(bytes + header.biSize);
        for (uint32_t i = 0; i < entries; ++i) {
            table[i].rgbBlue = palette->entries[i].blue;
            table[i].rgbGreen = palette->entries[i].green;
            table[i].rgbRed = palette->entries[i].red;
            table[i].rgbReserved = 0;
        }
    }
    GlobalUnlock(block);
    return block;
}

int GetPackedDibPalette(const BITMAPINFOHEADER* header, RgbPalette* palette)
{
    std::memset(palette, 0, sizeof *palette);
    uint32_t bits = header->biBitCount;
    if (bits > 8) return 0;
    uint32_t count = 1u << bits;
    const auto* table = reinterpret_cast<const RGBQUAD*>(
        reinterpret_cast<const uint8_t*>(header) + header->biSize);
    for (uint32_t i = 0; i < count; ++i) {
        palette->entries[i].red = table[i].rgbRed;
        palette->entries[i].green = table[i].rgbGreen;
        palette->entries[i].blue = table[i].rgbBlue;
    }
    return static_cast<int>(count);
}

int GetPackedDibInfo(HGLOBAL dib, int32_t* width, int32_t* height, int32_t* bits,
                     RgbPalette* palette)
{
    LockedDib locked(dib);
    if (!locked) return 0;
    const BITMAPINFOHEADER* header = locked.header();
    if (width) *width = header->biWidth;
    if (height) *height = header->biHeight;
    if (bits) *bits = header->biBitCount;
    if (palette) GetPackedDibPalette(header, palette);
    return 1;
}

uint32_t GetDibPixel(const BITMAPINFOHEADER* header, int32_t x, int32_t y)
{
    const uint8_t* p = PixelAddress(header, x, y);
    if (!p) return NoDibPixel;
    switch (header->biBitCount) {
    case 1: return (*p >> (7 - x % 8)) & 1u;
    case 4: return (x % 2 == 0) ? (*p >> 4) : (*p & 0x0Fu);
    case 8: return *p;
    case 24: return p[2] | (p[1] << 8) | (static_cast<uint32_t>(p[0]) << 16);
    default:
        return p[2] | (p[1] << 8) | (static_cast<uint32_t>(p[0]) << 16) |
               (static_cast<uint32_t>(p[3]) << 24);
    }
}

void SetDibPixel(BITMAPINFOHEADER* header, int32_t x, int32_t y, uint32_t value)
{
    auto* p = const_cast<uint8_t*>(PixelAddress(header, x, y));
    if (!p) return;
    switch (header->biBitCount) {
    case 1: {
        uint8_t mask = static_cast<uint8_t>(0x80 >> (x % 8));
        *p = (value & 1u) ? (*p | mask) : (*p & ~mask);
        break;
    }
    case 4:
        if (x % 2 == 0)
            *p = static_cast<uint8_t>((*p & 0x0F) | ((value & 0x0F) << 4));
        else
            *p = static_cast<uint8_t>((*p & 0xF0) | (value & 0x0F));
        break;
    case 8: *p = static_cast<uint8_t>(value); break;
    case 32: p[3] = static_cast<uint8_t>(value >> 24); [[fallthrough]];
    case 24:
        p[0] = static_cast<uint8_t>(value >> 16);
        p[1] = static_cast<uint8_t>(value >> 8);
        p[2] = static_cast<uint8_t>(value);
        break;
    }
}

HGLOBAL DuplicateGlobalBlock(HGLOBAL source)
{
    SIZE_T size = source ? GlobalSize(source) : 0;
    if (size == 0 || static_cast<int32_t>(size) < 0) return nullptr;
    void* from = GlobalLock(source);
    if (!from) return nullptr;
    HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    if (!copy) {
        GlobalUnlock(source);
        return nullptr;
    }
    void* to = GlobalLock(copy);
    if (!to) {
        GlobalFree(copy);
        GlobalUnlock(source);
        return nullptr;
    }
    std::memcpy(to, from, size);
    GlobalUnlock(copy);
    GlobalUnlock(source);
    return copy;
}
