// The packed device-independent bitmap in which every image travels: one
// movable global-memory block holding a BITMAPINFOHEADER, the colour table
// (2^bits four-byte entries up to 8 bits, none above) and bottom-up pixel rows
// padded to 4 bytes. Operations taking a handle lock and unlock the block
// themselves; those taking a header expect the caller to hold the lock.
#pragma once

#include <windows.h>

#include <cstdint>

#include "win/dib_stride.h"
#include "win/kernel_owners.h"

// A colour table as it enters and leaves a block: red, green, blue per entry.
struct RgbEntry {
    uint8_t red, green, blue;
};
struct RgbPalette {
    RgbEntry entries[256];
};
static_assert(sizeof(RgbPalette) == 768, "RgbPalette is 256 three-byte entries");

// GetDibPixel's answer when there is no pixel at the coordinates.
constexpr uint32_t NoDibPixel = 0xFFFFFFFF;

// 1 -> 1, 2..4 -> 4, 5..8 -> 8, 9..24 -> 24, anything else -> 32.
uint32_t NormalizeBitCount(uint32_t bits);

// A new zero-filled block of the normalised depth, returned unlocked; the
// palette (may be null) fills the colour table. Null on failure, for negative
// sizes and for sizes whose stride or byte count does not fit in 32 bits.
HGLOBAL CreatePackedDib(int32_t width, int32_t height, const RgbPalette* palette, uint32_t bits);

// Reads biWidth, biHeight, biBitCount and the colour table; any output may be
// null. Returns 0 (writing nothing) when the block cannot be locked.
int GetPackedDibInfo(HGLOBAL dib, int32_t* width, int32_t* height, int32_t* bits,
                     RgbPalette* palette);

// Clears the palette and copies min(2^bits, 256) table entries for depths up
// to 8 bits; returns the number copied (0 above 8 bits).
int GetPackedDibPalette(const BITMAPINFOHEADER* header, RgbPalette* palette);

// Pixel values: the index up to 8 bits; red + green * 0x100 + blue * 0x10000
// for 24 bits, plus the fourth byte in bits 24..31 for 32 bits. x counts from
// the left and y from the top. A header whose rows do not fit (DibRowsFit)
// has no pixels.
uint32_t GetDibPixel(const BITMAPINFOHEADER* header, int32_t x, int32_t y);
void SetDibPixel(BITMAPINFOHEADER* header, int32_t x, int32_t y, uint32_t value);

// A byte-for-byte copy of any global-memory block, GlobalSize bytes long.
HGLOBAL DuplicateGlobalBlock(HGLOBAL block);

// Layout arithmetic shared by the image code, in 64 bits like DibStride
// (win/dib_stride.h): the bytes of all rows.
inline uint64_t DibImageBytes(int32_t width, int32_t height, uint32_t bits)
{
    return DibStride(width, bits) * static_cast<uint32_t>(height);
}
// Whether a picture of these sizes can be a block: no negative size, and a
// stride and rows that fit in 32 bits, as the header's biSizeImage must.
// Blocks that fail it are neither made nor read.
inline bool DibRowsFit(int32_t width, int32_t height, uint32_t bits)
{
    return width >= 0 && height >= 0 && DibStride(width, bits) <= 0xFFFFFFFFu &&
           DibImageBytes(width, height, bits) <= 0xFFFFFFFFu;
}
inline uint32_t DibColorTableBytes(uint32_t bits)
{
    return bits <= 8 ? 4u << bits : 0u;
}
// The first byte of the bottom row (the first row in memory).
inline uint8_t* DibPixelBits(BITMAPINFOHEADER* header)
{
    return reinterpret_cast<uint8_t*>(header) + header->biSize +
           DibColorTableBytes(header->biBitCount);
}
inline const uint8_t* DibPixelBits(const BITMAPINFOHEADER* header)
{
    return reinterpret_cast<const uint8_t*>(header) + header->biSize +
           DibColorTableBytes(header->biBitCount);
}

// Holds a block locked for the length of a scope and unlocks it on every
// path, read as a packed DIB.
class LockedDib {
public:
    explicit LockedDib(HGLOBAL block) : lock_(block) {}

    explicit operator bool() const { return static_cast<bool>(lock_); }
    BITMAPINFOHEADER* header() const { return static_cast<BITMAPINFOHEADER*>(lock_.get()); }
    // Row y counted from the top of the picture.
    uint8_t* row(int32_t y) const
    {
        BITMAPINFOHEADER* h = header();
        return DibPixelBits(h) + static_cast<size_t>(h->biHeight - 1 - y) *
                                     static_cast<size_t>(DibStride(h->biWidth, h->biBitCount));
    }

private:
    LockedGlobal lock_;
};
