// Grey reduction: the worked values, the ramp and header, row padding,
// agreement with the per-pixel reading, and the source left alone.
#include "image/grey_reduce.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "image/filter_passes.h"
#include "image/packed_dib.h"
#include "tests/support/dib_compare.h"
#include "tests/support/rescale_oracle.h"
#include "tests/support/resource_watch.h"

namespace {

uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) { return r | (g << 8) | (b << 16); }

TEST(ReduceToGrey8, WorkedValues)
{
    const struct {
        uint32_t pixel, grey;
    } cases[] = {
        {Rgb(255, 255, 255), 255}, {Rgb(0, 0, 0), 0},         {Rgb(255, 0, 0), 77},
        {Rgb(0, 255, 0), 150},     {Rgb(0, 0, 255), 28},      {Rgb(128, 128, 128), 127},
        {Rgb(192, 192, 192), 190}, {Rgb(127, 127, 127), 125}, {Rgb(254, 254, 254), 252},
        {Rgb(1, 1, 1), 0},         {Rgb(3, 2, 10), 2},  // 231/255 + 300/255 + 280/255: 0 + 1 + 1
    };
    const int n = sizeof cases / sizeof cases[0];
    HGLOBAL source = CreatePackedDib(n, 1, nullptr, 24);
    {
        LockedDib dib(source);
        for (int i = 0; i < n; ++i) SetDibPixel(dib.header(), i, 0, cases[i].pixel);
    }
    HGLOBAL grey = ReduceToGrey8(source);
    ASSERT_NE(grey, nullptr);
    {
        LockedDib dib(grey);
        for (int i = 0; i < n; ++i) EXPECT_EQ(GetDibPixel(dib.header(), i, 0), cases[i].grey) << i;
    }
    GlobalFree(grey);
    GlobalFree(source);
}

TEST(ReduceToGrey8, HeaderRampAndZeroPadding)
{
    for (int32_t width : {1, 2, 3, 4, 5, 7, 13}) {
        HGLOBAL source = CreatePackedDib(width, 3, nullptr, 24);
        {
            LockedDib dib(source);
            for (int32_t y = 0; y < 3; ++y)
                for (int32_t x = 0; x < width; ++x) SetDibPixel(dib.header(), x, y, 0xFFFFFF);
        }
        HGLOBAL grey = ReduceToGrey8(source);
        ASSERT_NE(grey, nullptr);
        LockedDib dib(grey);
        const BITMAPINFOHEADER* h = dib.header();
        EXPECT_EQ(h->biBitCount, 8);
        EXPECT_EQ(h->biCompression, 0u);
        EXPECT_EQ(h->biClrUsed, 256u);
        EXPECT_EQ(h->biClrImportant, 256u);
        const uint32_t stride = static_cast<uint32_t>(DibStride(width, 8));
        EXPECT_EQ(h->biSizeImage, stride * 3);
        EXPECT_EQ(GlobalSize(grey), 40u + 1024u + stride * 3);
        const auto* table = reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const uint8_t*>(h) + 40);
        for (int i = 0; i < 256; ++i) {
            ASSERT_EQ(table[i].rgbRed, i);
            ASSERT_EQ(table[i].rgbGreen, i);
            ASSERT_EQ(table[i].rgbBlue, i);
            ASSERT_EQ(table[i].rgbReserved, 0);
        }
        for (int32_t y = 0; y < 3; ++y)
            for (uint32_t x = 0; x < stride; ++x)
                EXPECT_EQ(dib.row(y)[x], x < static_cast<uint32_t>(width) ? 255 : 0) << width << " " << x;
        GlobalFree(grey);
        GlobalFree(source);
    }
}

TEST(ReduceToGrey8, BuildGreyRamp)
{
    RgbPalette ramp;
    std::memset(&ramp, 0x5A, sizeof ramp);
    BuildGreyRamp(&ramp);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(ramp.entries[i].red, i);
        EXPECT_EQ(ramp.entries[i].green, i);
        EXPECT_EQ(ramp.entries[i].blue, i);
    }
}

// With the wide routine where the processor has it, and without.
class GreyReductionRoutines : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { UseWideVectors = GetParam(); }
    void TearDown() override { UseWideVectors = true; }
};

TEST_P(GreyReductionRoutines, AgreeWithThePerPixelReadingAndLeaveTheSourceAlone)
{
    std::mt19937 random(5);
    for (uint32_t bits : {24u, 32u})
        for (int32_t width : {1, 6, 15, 16, 17, 31, 64, 100}) {
            HGLOBAL source = CreatePackedDib(width, 9, nullptr, bits);
            {
                // Every byte random, the padding and the fourth byte included.
                LockedDib dib(source);
                uint8_t* bytes = DibPixelBits(dib.header());
                for (uint32_t i = 0; i < dib.header()->biSizeImage; ++i) bytes[i] = static_cast<uint8_t>(random());
            }
            std::vector<uint8_t> before(GlobalSize(source));
            std::memcpy(before.data(), GlobalLock(source), before.size());
            GlobalUnlock(source);

            HGLOBAL fast = ReduceToGrey8(source);
            HGLOBAL plain = OracleReduceToGrey8(source);
            EXPECT_TRUE(SameBlockBytes(fast, plain)) << bits << " bits, width " << width;
            EXPECT_EQ(LockCount(source), 0u);
            EXPECT_EQ(std::memcmp(GlobalLock(source), before.data(), before.size()), 0);
            GlobalUnlock(source);
            GlobalFree(fast);
            GlobalFree(plain);
            GlobalFree(source);
        }
}

INSTANTIATE_TEST_SUITE_P(WideOrNot, GreyReductionRoutines, ::testing::Bool());

TEST(ReduceToGrey8, PaletteSourcesAndMissingBlocksAreRefused)
{
    for (uint32_t bits : {1u, 4u, 8u}) {
        HGLOBAL source = CreatePackedDib(4, 4, nullptr, bits);
        EXPECT_EQ(ReduceToGrey8(source), nullptr) << bits;
        EXPECT_EQ(LockCount(source), 0u);
        GlobalFree(source);
    }
    EXPECT_EQ(ReduceToGrey8(nullptr), nullptr);
}

TEST(ReduceToGrey8, FailuresLeaveNothingBehind)
{
    HGLOBAL source = CreatePackedDib(5, 5, nullptr, 24);
    // Lock 1: the source; allocation 1 and lock 2: the output's creation;
    // lock 3: the output.
    for (int step = 0; step < 4; ++step) {
        GlobalMemoryWatch watch;
        if (step == 0) watch.failLock(1);
        if (step == 1) watch.failAlloc(1);
        if (step == 2) watch.failLock(2);
        if (step == 3) watch.failLock(3);
        EXPECT_EQ(ReduceToGrey8(source), nullptr) << "step " << step;
        EXPECT_EQ(watch.liveBlocks(), 0u) << "step " << step;
        EXPECT_EQ(watch.heldLocks(), 0) << "step " << step;
        EXPECT_EQ(LockCount(source), 0u);
    }
    GlobalFree(source);
}

}  // namespace
