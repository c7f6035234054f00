// The kept rescale against the whole rescale of the same pictures: sequences
// of pictures of one size, each differing from the one before only where it
// is marked (grey patches, colour patches, thin slivers, the borders, one
// pixel, nothing), give the whole rescale's bytes every time, and so do a
// size that changes, marks of every pixel, a plan whose horizontal pass runs
// first, and working memory that cannot be had.
#include "image/kept_rescale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "image/packed_dib.h"
#include "image/rescale.h"
#include "tests/support/dib_compare.h"

namespace {

// A 24-bit picture held as a block, with its rows at hand.
struct Picture {
    GlobalBlock block;
    BITMAPINFOHEADER* header = nullptr;
    Picture(int32_t width, int32_t height, uint32_t bits = 24) : block(CreatePackedDib(width, height, nullptr, bits))
    {
        header = static_cast<BITMAPINFOHEADER*>(GlobalLock(block.get()));
    }
    ~Picture()
    {
        if (header) GlobalUnlock(block.get());
    }
    uint8_t* pixel(int32_t x, int32_t y)
    {
        return DibPixelBits(header) + static_cast<size_t>(header->biHeight - 1 - y) * DibStride(header->biWidth, 24) +
               static_cast<size_t>(x) * 3;
    }
};

// Greys only, like a leader: a field, a sector and rings with soft edges.
void PaintLeaderLike(Picture& p)
{
    const int32_t w = p.header->biWidth, h = p.header->biHeight;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const double dx = x - w / 2.0, dy = y - h / 2.0;
            const double r = std::sqrt(dx * dx + dy * dy);
            uint8_t g = dx > 0 && dy < 0 ? 128 : 200;
            if (std::fabs(r - w * 0.3) < 3.0) g = static_cast<uint8_t>(240 - std::fabs(r - w * 0.3) * 30);
            std::memset(p.pixel(x, y), g, 3);
        }
}

// What one step changes: a rectangle of one grey, of colour noise, or one pixel.
enum class Change { GreyPatch, ColourPatch, Sliver, OnePixel, Nothing, Everything };

void ChangeAndMark(Picture& p, ChangedPixels& changed, Change change, std::mt19937& random)
{
    const int32_t w = p.header->biWidth, h = p.header->biHeight;
    auto in = [&](int32_t n) { return static_cast<int32_t>(random() % static_cast<uint32_t>(n)); };
    int32_t left = in(w), top = in(h), right = std::min(w, left + 1 + in(w / 3 + 1)), bottom = std::min(h, top + 1 + in(h / 3 + 1));
    switch (change) {
    case Change::Nothing: return;
    case Change::Everything: left = top = 0, right = w, bottom = h; break;
    case Change::OnePixel: right = left + 1, bottom = top + 1; break;
    case Change::Sliver: right = std::min(w, left + 2); break;
    default: break;
    }
    const uint8_t grey = static_cast<uint8_t>(random());
    for (int32_t y = top; y < bottom; ++y) {
        for (int32_t x = left; x < right; ++x) {
            uint8_t* px = p.pixel(x, y);
            if (change == Change::ColourPatch) {
                px[0] = static_cast<uint8_t>(random()), px[1] = static_cast<uint8_t>(random()), px[2] = static_cast<uint8_t>(random());
            } else {
                std::memset(px, grey, 3);
            }
        }
        // Marks may hold more than changed: a row's span from a pixel before.
        changed.mark(y, left - (y % 2), right);
    }
    if (change == Change::Everything) changed.markAll();
}

struct SequenceCase {
    int32_t width, height, newWidth, newHeight;
    bool keeps;  // whether a result is kept (24-bit, vertical pass first)
};

void PrintTo(const SequenceCase& c, std::ostream* os)
{
    *os << c.width << "x" << c.height << " to " << c.newWidth << "x" << c.newHeight;
}

std::string Name(const ::testing::TestParamInfo<SequenceCase>& info)
{
    const SequenceCase& c = info.param;
    return std::to_string(c.width) + "x" + std::to_string(c.height) + "_to_" + std::to_string(c.newWidth) + "x" +
           std::to_string(c.newHeight);
}

class KeptRescaleSequence : public ::testing::TestWithParam<SequenceCase> {};

TEST_P(KeptRescaleSequence, EveryResultIsTheWholeRescales)
{
    const SequenceCase& c = GetParam();
    Picture source(c.width, c.height);
    ASSERT_TRUE(source.header);
    PaintLeaderLike(source);
    ChangedPixels changed;
    changed.resize(c.width, c.height);
    KeptRescale kept;
    RescaleMemory memory;
    std::mt19937 random(c.width * 7 + c.height);
    const Change changes[] = {Change::GreyPatch, Change::Sliver,   Change::ColourPatch, Change::GreyPatch,
                              Change::OnePixel,  Change::Nothing,  Change::GreyPatch,   Change::Everything,
                              Change::Sliver,    Change::GreyPatch};
    for (int step = 0; step < 80; ++step) {
        if (step > 0) ChangeAndMark(source, changed, changes[step % 10], random);
        Picture result(c.newWidth, c.newHeight);
        ASSERT_TRUE(kept.rescale(source.header, DibPixelBits(source.header), changed, result.header, &memory)) << step;
        changed.clear();
        EXPECT_EQ(kept.holdsALastResult(), c.keeps) << step;
        GlobalBlock whole(RescalePixels(source.header, DibPixelBits(source.header), c.newWidth, c.newHeight, 0, 1.0, nullptr));
        ASSERT_TRUE(whole);
        LockedDib wholeDib(whole.get());
        const size_t bytes = DibStride(c.newWidth, 24) * static_cast<size_t>(c.newHeight);
        ASSERT_TRUE(SameDibBytes(reinterpret_cast<const uint8_t*>(wholeDib.header()), 40 + bytes,
                                 reinterpret_cast<const uint8_t*>(result.header), 40 + bytes))
            << "step " << step << ", after " << static_cast<int>(changes[step % 10]);
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, KeptRescaleSequence,
                         ::testing::Values(SequenceCase{1024, 1024, 256, 256, true}, SequenceCase{400, 352, 100, 88, true},
                                           SequenceCase{68, 36, 17, 9, true}, SequenceCase{37, 23, 9, 6, true},
                                           SequenceCase{256, 64, 64, 16, true},
                                           // Horizontal pass first: rescaled whole every time.
                                           SequenceCase{20, 100, 19, 10, false}),
                         Name);

// A picture of another size, marks of every pixel, or working memory that
// cannot be had: the result is still the whole rescale's.
TEST(KeptRescale, SizeChangesAndMemoryThatCannotBeHad)
{
    KeptRescale kept;
    RescaleMemory memory;
    ChangedPixels changed;
    for (int32_t size : {64, 80, 64}) {
        Picture source(size, size);
        PaintLeaderLike(source);
        changed.resize(size, size);
        changed.clear();  // nothing marked: yet the size is new, so it is rescaled whole
        Picture result(size / 4, size / 4);
        ASSERT_TRUE(kept.rescale(source.header, DibPixelBits(source.header), changed, result.header, &memory));
        GlobalBlock whole(RescalePixels(source.header, DibPixelBits(source.header), size / 4, size / 4, 0, 1.0, nullptr));
        LockedDib wholeDib(whole.get());
        EXPECT_EQ(std::memcmp(DibPixelBits(wholeDib.header()), DibPixelBits(result.header),
                              DibStride(size / 4, 24) * (size / 4)), 0)
            << size;
    }
    // An update without room for its working memory makes the whole rescale.
    Picture source(64, 64);
    PaintLeaderLike(source);
    changed.resize(64, 64);
    Picture first(16, 16);
    ASSERT_TRUE(kept.rescale(source.header, DibPixelBits(source.header), changed, first.header, &memory));
    changed.clear();
    std::memset(source.pixel(10, 10), 7, 3);
    changed.mark(10, 10, 11);
    RescaleMemory tooSmall(64);
    Picture second(16, 16);
    ASSERT_TRUE(kept.rescale(source.header, DibPixelBits(source.header), changed, second.header, &tooSmall));
    GlobalBlock whole(RescalePixels(source.header, DibPixelBits(source.header), 16, 16, 0, 1.0, nullptr));
    LockedDib wholeDib(whole.get());
    EXPECT_EQ(std::memcmp(DibPixelBits(wholeDib.header()), DibPixelBits(second.header), DibStride(16, 24) * 16), 0);
    // Forgetting makes the next rescale whole, also with nothing marked.
    kept.forget();
    EXPECT_FALSE(kept.holdsALastResult());
}

}  // namespace
