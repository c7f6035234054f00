// Packed DIB blocks: layout at every depth, the pixel accessors' bounds and
// bit order, palettes, duplication, and lock counts on every path.
#include "image/packed_dib.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/resource_watch.h"

namespace {

struct LayoutCase {
    int32_t width, height;
    uint32_t requestedBits, bits, stride, entries;
};

TEST(PackedDib, LayoutAtEveryDepth)
{
    const LayoutCase cases[] = {
        {1, 3, 24, 24, 4, 0},   {33, 2, 1, 1, 8, 2},   {9, 2, 4, 4, 8, 16},   {5, 4, 2, 4, 4, 16},
        {5, 4, 8, 8, 8, 256},   {7, 3, 16, 24, 24, 0}, {3, 2, 0, 32, 12, 0},  {3, 2, 40, 32, 12, 0},
        {0, 5, 24, 24, 0, 0},   {6, 0, 8, 8, 8, 256},  {2, 2, 32, 32, 8, 0},  {8, 1, 5, 8, 8, 256},
        {134217728, 0, 32, 32, 536870912, 0},  // width x bits is 2^32: the stride must not wrap to 0
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " bits " << c.requestedBits);
        HGLOBAL block = CreatePackedDib(c.width, c.height, nullptr, c.requestedBits);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(LockCount(block), 0u);
        EXPECT_EQ(GlobalSize(block), 40 + 4 * c.entries + c.stride * c.height);
        {
            LockedDib dib(block);
            const BITMAPINFOHEADER* h = dib.header();
            EXPECT_EQ(h->biSize, 40u);
            EXPECT_EQ(h->biWidth, c.width);
            EXPECT_EQ(h->biHeight, c.height);
            EXPECT_EQ(h->biPlanes, 1);
            EXPECT_EQ(h->biBitCount, c.bits);
            EXPECT_EQ(h->biCompression, 0u);
            EXPECT_EQ(h->biSizeImage, c.stride * c.height);
            EXPECT_EQ(h->biClrUsed, c.entries);
            EXPECT_EQ(h->biClrImportant, c.entries);
            EXPECT_EQ(DibStride(c.width, c.bits), c.stride);
            const uint8_t* bytes = reinterpret_cast<const uint8_t*>(h);
            for (size_t i = 40; i < GlobalSize(block); ++i) ASSERT_EQ(bytes[i], 0) << "byte " << i;
        }
        GlobalFree(block);
    }
}

TEST(PackedDib, NormalizeBitCount)
{
    const uint32_t expected[] = {32, 1, 4, 4, 4, 8, 8, 8, 8, 24, 24};
    for (uint32_t bits = 0; bits < 11; ++bits) EXPECT_EQ(NormalizeBitCount(bits), expected[bits]) << bits;
    EXPECT_EQ(NormalizeBitCount(24), 24u);
    EXPECT_EQ(NormalizeBitCount(25), 32u);
    EXPECT_EQ(NormalizeBitCount(0xFFFFFFFFu), 32u);
}

TEST(PackedDib, RefusesNegativeAndOverflowingSizes)
{
    EXPECT_EQ(CreatePackedDib(-1, 4, nullptr, 24), nullptr);
    EXPECT_EQ(CreatePackedDib(4, -1, nullptr, 24), nullptr);
    EXPECT_EQ(CreatePackedDib(0x7FFFFFFF, 0x7FFFFFFF, nullptr, 32), nullptr);
    EXPECT_EQ(CreatePackedDib(65536, 65536, nullptr, 24), nullptr);   // 12 GiB
    EXPECT_EQ(CreatePackedDib(0x40000000, 1, nullptr, 32), nullptr);  // 4 GiB of one row
    EXPECT_EQ(CreatePackedDib(0x40000000, 0, nullptr, 32), nullptr);  // no rows, but a 4 GiB stride
    EXPECT_EQ(CreatePackedDib(0x7FFFFFFF, 0, nullptr, 24), nullptr);
}

TEST(PackedDib, PaletteGoesInAsBgrAndComesBackAsRgb)
{
    RgbPalette in = {};
    for (int i = 0; i < 256; ++i) in.entries[i] = {uint8_t(i), uint8_t(255 - i), uint8_t(i / 2)};
    HGLOBAL block = CreatePackedDib(3, 3, &in, 8);
    ASSERT_NE(block, nullptr);
    {
        LockedDib dib(block);
        const auto* table = reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const uint8_t*>(dib.header()) + 40);
        EXPECT_EQ(table[10].rgbRed, 10);
        EXPECT_EQ(table[10].rgbGreen, 245);
        EXPECT_EQ(table[10].rgbBlue, 5);
        EXPECT_EQ(table[10].rgbReserved, 0);
    }
    RgbPalette out;
    int32_t w = 0, h = 0, bits = 0;
    EXPECT_EQ(GetPackedDibInfo(block, &w, &h, &bits, &out), 1);
    EXPECT_EQ(LockCount(block), 0u);
    EXPECT_EQ(w, 3);
    EXPECT_EQ(h, 3);
    EXPECT_EQ(bits, 8);
    EXPECT_EQ(std::memcmp(&in, &out, sizeof in), 0);
    EXPECT_EQ(GetPackedDibInfo(block, nullptr, nullptr, nullptr, nullptr), 1);
    GlobalFree(block);

    // A 1-bit block copies two entries and clears the rest; 24 bits copy none.
    HGLOBAL mono = CreatePackedDib(8, 1, &in, 1);
    std::memset(&out, 0x77, sizeof out);
    {
        LockedDib dib(mono);
        EXPECT_EQ(GetPackedDibPalette(dib.header(), &out), 2);
    }
    EXPECT_EQ(out.entries[1].red, 1);
    EXPECT_EQ(out.entries[1].green, 254);
    EXPECT_EQ(out.entries[2].red, 0);
    EXPECT_EQ(out.entries[255].blue, 0);
    GlobalFree(mono);
    HGLOBAL rgb = CreatePackedDib(8, 1, &in, 24);
    std::memset(&out, 0x77, sizeof out);
    {
        LockedDib dib(rgb);
        EXPECT_EQ(GetPackedDibPalette(dib.header(), &out), 0);
    }
    for (const RgbEntry& e : out.entries) ASSERT_TRUE(e.red == 0 && e.green == 0 && e.blue == 0);
    GlobalFree(rgb);
}

TEST(PackedDib, PixelsAreBottomUpWithTheirByteOrder)
{
    HGLOBAL block = CreatePackedDib(2, 3, nullptr, 24);
    LockedDib dib(block);
    BITMAPINFOHEADER* h = dib.header();
    uint8_t* bits = DibPixelBits(h);
    SetDibPixel(h, 0, 0, 0x123456);  // top-left lives in the last row in memory
    EXPECT_EQ(bits[2 * 8 + 0], 0x12);
    EXPECT_EQ(bits[2 * 8 + 1], 0x34);
    EXPECT_EQ(bits[2 * 8 + 2], 0x56);
    EXPECT_EQ(GetDibPixel(h, 0, 0), 0x123456u);
    SetDibPixel(h, 1, 2, 0xFFABCDEF);  // bits 24..31 are dropped at 24 bits
    EXPECT_EQ(bits[3], 0xAB);
    EXPECT_EQ(GetDibPixel(h, 1, 2), 0xABCDEFu);
    EXPECT_EQ(bits[6], 0);  // padding untouched
    EXPECT_EQ(bits[7], 0);
}

TEST(PackedDib, AccessorsAtEveryDepthAndBothBounds)
{
    for (uint32_t bits : {1u, 4u, 8u, 24u, 32u}) {
        SCOPED_TRACE(testing::Message() << bits << " bits");
        const int32_t w = 11, h = 5;
        HGLOBAL block = CreatePackedDib(w, h, nullptr, bits);
        LockedDib dib(block);
        BITMAPINFOHEADER* header = dib.header();
        uint32_t mask = bits == 32 ? 0xFFFFFFFFu : bits == 24 ? 0xFFFFFFu : (1u << bits) - 1;
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) SetDibPixel(header, x, y, (x * 7919u + y * 104729u) * 2654435761u);
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x)
                ASSERT_EQ(GetDibPixel(header, x, y), ((x * 7919u + y * 104729u) * 2654435761u) & mask)
                    << x << "," << y;
        // Out of bounds: nothing read, nothing written, padding still zero.
        for (auto [x, y] : {std::pair{-1, 0}, {w, 0}, {0, -1}, {0, h}, {w + 100, h + 100}}) {
            EXPECT_EQ(GetDibPixel(header, x, y), NoDibPixel);
            SetDibPixel(header, x, y, 0xFFFFFFFF);
        }
        uint32_t stride = static_cast<uint32_t>(DibStride(w, bits)), used = (w * bits + 7) / 8;
        for (int32_t row = 0; row < h; ++row)
            for (uint32_t i = used; i < stride; ++i) ASSERT_EQ(DibPixelBits(header)[row * stride + i], 0);
        GlobalFree(block);
    }
}

TEST(PackedDib, NibbleAndBitOrder)
{
    HGLOBAL block = CreatePackedDib(9, 1, nullptr, 4);
    {
        LockedDib dib(block);
        SetDibPixel(dib.header(), 0, 0, 0xAB);
        SetDibPixel(dib.header(), 1, 0, 0xC);
        EXPECT_EQ(DibPixelBits(dib.header())[0], 0xBC);
    }
    GlobalFree(block);
    block = CreatePackedDib(16, 1, nullptr, 1);
    {
        LockedDib dib(block);
        SetDibPixel(dib.header(), 0, 0, 1);
        SetDibPixel(dib.header(), 9, 0, 3);
        EXPECT_EQ(DibPixelBits(dib.header())[0], 0x80);
        EXPECT_EQ(DibPixelBits(dib.header())[1], 0x40);
        SetDibPixel(dib.header(), 0, 0, 2);  // bit 0 clear: the pixel is cleared
        EXPECT_EQ(DibPixelBits(dib.header())[0], 0x00);
    }
    GlobalFree(block);
}

TEST(PackedDib, OddDepthOrUnaddressableRowsHaveNoPixels)
{
    HGLOBAL block = CreatePackedDib(4, 4, nullptr, 8);
    LockedDib dib(block);
    dib.header()->biBitCount = 16;
    EXPECT_EQ(GetDibPixel(dib.header(), 0, 0), NoDibPixel);
    SetDibPixel(dib.header(), 0, 0, 0xFFFF);
    dib.header()->biBitCount = 8;
    EXPECT_EQ(GetDibPixel(dib.header(), 0, 0), 0u);
    // Nor does a header whose rows could not be addressed (4 GiB apart):
    // nothing is read or written where a wrapped stride would put row 0.
    dib.header()->biWidth = 0x40000000;
    dib.header()->biBitCount = 32;
    DibPixelBits(dib.header())[0] = 0x5A;
    EXPECT_EQ(GetDibPixel(dib.header(), 0, 3), NoDibPixel);
    SetDibPixel(dib.header(), 0, 3, 0xFFFFFFFF);
    EXPECT_EQ(DibPixelBits(dib.header())[0], 0x5A);
    GlobalFree(block);
}

TEST(DuplicateGlobalBlock, CopiesEveryByteAndStandsAlone)
{
    HGLOBAL source = CreatePackedDib(5, 3, nullptr, 24);
    {
        LockedDib dib(source);
        uint8_t* bytes = reinterpret_cast<uint8_t*>(dib.header());
        for (size_t i = 40; i < GlobalSize(source); ++i) bytes[i] = static_cast<uint8_t>(i * 31);
    }
    HGLOBAL copy = DuplicateGlobalBlock(source);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(LockCount(source), 0u);
    EXPECT_EQ(LockCount(copy), 0u);
    ASSERT_EQ(GlobalSize(copy), GlobalSize(source));
    {
        LockedDib a(source), b(copy);
        EXPECT_EQ(std::memcmp(a.header(), b.header(), GlobalSize(source)), 0);
    }
    GlobalFree(source);
    LockedDib b(copy);
    EXPECT_EQ(GetDibPixel(b.header(), 0, 2), GetDibPixel(b.header(), 0, 2));
    EXPECT_EQ(reinterpret_cast<uint8_t*>(b.header())[45], static_cast<uint8_t>(45 * 31));
    GlobalFree(copy);
}

TEST(PackedDibFaults, CreateFreesWhatItAllocated)
{
    GlobalMemoryWatch watch;
    watch.failAlloc(1);
    EXPECT_EQ(CreatePackedDib(4, 4, nullptr, 24), nullptr);
    watch.failAlloc(0);
    watch.failLock(1);
    EXPECT_EQ(CreatePackedDib(4, 4, nullptr, 24), nullptr);
    EXPECT_EQ(watch.liveBlocks(), 0u);
    EXPECT_EQ(watch.heldLocks(), 0);
}

TEST(PackedDibFaults, DuplicateLeavesTheSourceAsItWas)
{
    HGLOBAL source = CreatePackedDib(4, 4, nullptr, 24);
    GlobalLock(source);  // the caller's own lock must survive unchanged
    for (int step = 1; step <= 3; ++step) {
        GlobalMemoryWatch watch;
        if (step == 1) watch.failLock(1);   // source
        if (step == 2) watch.failAlloc(1);  // copy
        if (step == 3) watch.failLock(2);   // copy's lock
        EXPECT_EQ(DuplicateGlobalBlock(source), nullptr) << "step " << step;
        EXPECT_EQ(watch.liveBlocks(), 0u) << "step " << step;
        EXPECT_EQ(watch.heldLocks(), 0) << "step " << step;
        EXPECT_EQ(LockCount(source), 1u) << "step " << step;
    }
    {
        GlobalMemoryWatch watch;
        watch.failLock(1);
        EXPECT_EQ(GetPackedDibInfo(source, nullptr, nullptr, nullptr, nullptr), 0);
        int32_t w = -5;
        watch.failLock(1);
        EXPECT_EQ(GetPackedDibInfo(source, &w, nullptr, nullptr, nullptr), 0);
        EXPECT_EQ(w, -5);
    }
    GlobalUnlock(source);
    EXPECT_EQ(DuplicateGlobalBlock(nullptr), nullptr);
    GlobalFree(source);
}

}  // namespace
