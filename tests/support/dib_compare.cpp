// Names the first difference between two packed DIBs (see dib_compare.h).
#include "tests/support/dib_compare.h"

#include <cstring>
#include <sstream>
#include <string>

#include "image/packed_dib.h"

namespace {

const char* ChannelName(uint32_t bits, size_t byteInPixel)
{
    if (bits < 24) return "index";
    static const char* const names[] = {"blue", "green", "red", "fourth byte"};
    return names[byteInPixel < 4 ? byteInPixel : 3];
}

// Where byte `offset` of a packed DIB lies, read through its own header.
std::string PlaceOf(const uint8_t* dib, size_t size, size_t offset)
{
    std::ostringstream place;
    if (size < sizeof(BITMAPINFOHEADER) || offset < sizeof(BITMAPINFOHEADER)) {
        place << "header byte " << offset;
        return place.str();
    }
    BITMAPINFOHEADER header;
    std::memcpy(&header, dib, sizeof header);
    const uint32_t bits = header.biBitCount;
    const size_t table = header.biSize + DibColorTableBytes(bits);
    if (offset < table) {
        place << "colour-table entry " << (offset - header.biSize) / 4;
        return place.str();
    }
    const size_t stride = static_cast<size_t>(DibStride(header.biWidth, bits));
    if (stride == 0 || header.biHeight <= 0) {
        place << "byte " << offset;
        return place.str();
    }
    const size_t row = (offset - table) / stride;
    const size_t inRow = (offset - table) % stride;
    if (row >= static_cast<size_t>(header.biHeight)) {
        place << "byte " << offset << ", past the last row";
        return place.str();
    }
    const int64_t y = header.biHeight - 1 - static_cast<int64_t>(row);
    const size_t pixelBytes = bits >= 8 ? bits / 8 : 1;
    const size_t x = bits >= 8 ? inRow / pixelBytes : inRow * 8 / bits;
    if (x >= static_cast<size_t>(header.biWidth)) {
        place << "row padding of y " << y;
        return place.str();
    }
    place << "pixel (" << x << ", " << y << ") " << ChannelName(bits, inRow % pixelBytes);
    return place.str();
}

}  // namespace

testing::AssertionResult SameDibBytes(const uint8_t* expected, size_t expectedSize,
                                      const uint8_t* actual, size_t actualSize)
{
    const size_t common = expectedSize < actualSize ? expectedSize : actualSize;
    for (size_t i = 0; i < common; ++i) {
        if (expected[i] != actual[i]) {
            return testing::AssertionFailure()
                   << "first difference at " << PlaceOf(expected, expectedSize, i) << ": expected "
                   << int(expected[i]) << ", got " << int(actual[i]) << " (byte " << i << ")";
        }
    }
    if (expectedSize != actualSize)
        return testing::AssertionFailure() << "sizes differ: expected " << expectedSize << " bytes, got "
                                           << actualSize;
    return testing::AssertionSuccess();
}

testing::AssertionResult SameDibBytes(const std::vector<uint8_t>& expected,
                                      const std::vector<uint8_t>& actual)
{
    return SameDibBytes(expected.data(), expected.size(), actual.data(), actual.size());
}

testing::AssertionResult SameBlockBytes(HGLOBAL expected, HGLOBAL actual)
{
    if (!expected || !actual) {
        if (expected == actual) return testing::AssertionSuccess();
        return testing::AssertionFailure() << (expected ? "got no block" : "expected no block");
    }
    const auto* a = static_cast<const uint8_t*>(GlobalLock(expected));
    const auto* b = static_cast<const uint8_t*>(GlobalLock(actual));
    testing::AssertionResult result =
        a && b ? SameDibBytes(a, GlobalSize(expected), b, GlobalSize(actual))
               : testing::AssertionFailure() << "a block cannot be locked";
    if (b) GlobalUnlock(actual);
    if (a) GlobalUnlock(expected);
    return result;
}
