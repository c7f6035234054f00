// Animated GIF output with a variable-width LZW coder.
#include <cstring>

#include "host/animation_writers.h"

namespace {

constexpr int kMinCodeSize = 8;
constexpr int kClearCode = 1 << kMinCodeSize;
constexpr int kEndCode = kClearCode + 1;
constexpr int kMaxCodes = 4096;

class BitPacker {
public:
    explicit BitPacker(std::vector<uint8_t>& bytes) : bytes_(bytes) {}
    void Put(int code, int width)
    {
        accumulator_ |= static_cast<uint32_t>(code) << bitCount_;
        bitCount_ += width;
        while (bitCount_ >= 8) {
            bytes_.push_back(static_cast<uint8_t>(accumulator_));
            accumulator_ >>= 8;
            bitCount_ -= 8;
        }
    }
    void Flush()
    {
        if (bitCount_ > 0) bytes_.push_back(static_cast<uint8_t>(accumulator_));
        accumulator_ = 0;
        bitCount_ = 0;
    }

private:
    std::vector<uint8_t>& bytes_;
    uint32_t accumulator_ = 0;
    int bitCount_ = 0;
};

void Put16(std::vector<uint8_t>& out, int value)
{
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

// Splits data into sub-blocks of at most 255 bytes and ends them.
void AppendSubBlocks(const uint8_t* data, size_t size, std::vector<uint8_t>& out)
{
    while (size > 0) {
        size_t chunk = size < 255 ? size : 255;
        out.push_back(static_cast<uint8_t>(chunk));
        out.insert(out.end(), data, data + chunk);
        data += chunk;
        size -= chunk;
    }
    out.push_back(0);
}

// The LZW coder of GIF image data. Its string table is kept from image to
// image and only the entries an image filled are cleared, so that coding many
// small images costs no more than their pixels.
class GifImageCoder {
public:
    // The string table: next[prefix * 256 + byte] is the code of prefix+byte,
    // 0 when absent (no string ever gets code 0, which is a single byte).
    GifImageCoder() : next_(static_cast<size_t>(kMaxCodes) * 256, 0) {}

    void Append(const std::vector<uint8_t>& indices, std::vector<uint8_t>& out)
    {
        std::vector<uint8_t> packed;
        BitPacker bits(packed);
        int codeSize = kMinCodeSize + 1;
        int nextCode = kEndCode + 1;

        bits.Put(kClearCode, codeSize);
        if (!indices.empty()) {
            int prefix = indices[0];
            for (size_t i = 1; i < indices.size(); ++i) {
                const uint8_t byte = indices[i];
                const size_t slotIndex = static_cast<size_t>(prefix) * 256 + byte;
                uint16_t& slot = next_[slotIndex];
                if (slot != 0) {
                    prefix = slot;
                    continue;
                }
                bits.Put(prefix, codeSize);
                if (nextCode < kMaxCodes) {
                    slot = static_cast<uint16_t>(nextCode++);
                    filled_.push_back(static_cast<uint32_t>(slotIndex));
                    // A decoder adds this string one code later, so it widens its
                    // codes once the string just added has a code of the full width.
                    if (nextCode > (1 << codeSize) && codeSize < 12) ++codeSize;
                } else {
                    bits.Put(kClearCode, codeSize);
                    ClearTable();
                    codeSize = kMinCodeSize + 1;
                    nextCode = kEndCode + 1;
                }
                prefix = byte;
            }
            bits.Put(prefix, codeSize);
        }
        bits.Put(kEndCode, codeSize);
        bits.Flush();
        ClearTable();

        out.push_back(kMinCodeSize);
        AppendSubBlocks(packed.data(), packed.size(), out);
    }

private:
    void ClearTable()
    {
        for (uint32_t slot : filled_) next_[slot] = 0;
        filled_.clear();
    }

    std::vector<uint16_t> next_;
    std::vector<uint32_t> filled_;
};

}  // namespace

void AppendGifImageData(const std::vector<uint8_t>& indices, std::vector<uint8_t>& out)
{
    GifImageCoder().Append(indices, out);
}

namespace {

// One frame as it goes into the file: the rectangle it covers and its pixels
// there, with the index that stands for "keep what is already shown" (-1 for
// none).
struct GifPatch {
    int left = 0, top = 0, width = 0, height = 0;
    int transparent = -1;
    std::vector<uint8_t> data;  // the image's LZW data, ready to write
};

GifPatch WholeFrame(const AnimationDocument& document, const std::vector<uint8_t>& pixels,
                    GifImageCoder& coder)
{
    GifPatch patch;
    patch.width = document.width();
    patch.height = document.height();
    coder.Append(pixels, patch.data);
    return patch;
}

// The frame as a change to the one shown before it: the smallest rectangle
// holding every changed pixel. Inside it, the pixels that did not change may
// become one index that the changed ones do not use, declared transparent;
// that version is kept when its code stream is shorter. The transparent index
// is the value most unchanged pixels of the rectangle already have, so that
// they need no rewriting; when every value among them is also a changed
// pixel's, the lowest index that no changed pixel uses.
GifPatch ChangedPart(const AnimationDocument& document, const std::vector<uint8_t>& previous,
                     const std::vector<uint8_t>& pixels, GifImageCoder& coder)
{
    const int width = document.width(), height = document.height();
    int left = width, right = -1, top = height, bottom = -1;
    for (int y = 0; y < height; ++y) {
        const uint8_t* now = pixels.data() + static_cast<size_t>(y) * width;
        const uint8_t* before = previous.data() + static_cast<size_t>(y) * width;
        for (int x = 0; x < width; ++x) {
            if (now[x] == before[x]) continue;
            if (x < left) left = x;
            if (x > right) right = x;
            if (y < top) top = y;
            bottom = y;
        }
    }
    GifPatch patch;
    if (right < 0) {
        // Nothing changed: one pixel, as it is, carries the frame's delay.
        patch.width = patch.height = 1;
        coder.Append(std::vector<uint8_t>(1, pixels[0]), patch.data);
        return patch;
    }
    patch.left = left;
    patch.top = top;
    patch.width = right - left + 1;
    patch.height = bottom - top + 1;

    std::vector<uint8_t> plain, masked;
    plain.reserve(static_cast<size_t>(patch.width) * patch.height);
    bool changedUses[256] = {};
    size_t unchangedCount[256] = {};
    bool anyUnchanged = false;
    for (int y = top; y <= bottom; ++y) {
        const size_t row = static_cast<size_t>(y) * width;
        for (int x = left; x <= right; ++x) {
            const uint8_t value = pixels[row + x];
            plain.push_back(value);
            if (value != previous[row + x]) {
                changedUses[value] = true;
            } else {
                ++unchangedCount[value];
                anyUnchanged = true;
            }
        }
    }
    coder.Append(plain, patch.data);
    if (!anyUnchanged) return patch;

    int transparent = -1;
    for (int i = 0; i < 256; ++i) {
        if (changedUses[i]) continue;
        if (transparent < 0 || unchangedCount[i] > unchangedCount[transparent]) transparent = i;
    }
    if (transparent < 0) return patch;  // the changed pixels use every index

    masked.reserve(plain.size());
    for (int y = top; y <= bottom; ++y) {
        const size_t row = static_cast<size_t>(y) * width;
        for (int x = left; x <= right; ++x)
            masked.push_back(pixels[row + x] == previous[row + x]
                                 ? static_cast<uint8_t>(transparent) : pixels[row + x]);
    }
    std::vector<uint8_t> maskedData;
    coder.Append(masked, maskedData);
    if (maskedData.size() < patch.data.size()) {
        patch.data.swap(maskedData);
        patch.transparent = transparent;
    }
    return patch;
}

}  // namespace

bool WriteGif(const AnimationDocument& document, ByteSink& sink, GifFrames frames)
{
    if (!document.paletteImages()) return false;
    std::vector<uint8_t> out;
    const char signature[] = "GIF89a";
    out.insert(out.end(), signature, signature + 6);
    Put16(out, document.width());
    Put16(out, document.height());
    out.push_back(0xF7);  // global colour table of 256 entries, 8 bits per primary
    out.push_back(0);     // background colour index
    out.push_back(0);     // no aspect ratio given
    out.insert(out.end(), document.palette(), document.palette() + 768);

    // Loop for ever.
    const uint8_t looping[] = {0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E',
                               '2',  '.',  '0',  0x03, 0x01, 0x00, 0x00, 0x00};
    out.insert(out.end(), looping, looping + sizeof looping);

    if (!document.comment().empty()) {
        out.push_back(0x21);
        out.push_back(0xFE);
        const std::string& text = document.comment();
        AppendSubBlocks(reinterpret_cast<const uint8_t*>(text.data()), text.size(), out);
    }

    GifImageCoder coder;
    const std::vector<uint8_t>* previous = nullptr;
    for (const DocumentFrame& frame : document.frames()) {
        const GifPatch patch = previous && frames == GifFrames::Changes
                                   ? ChangedPart(document, *previous, frame.pixels, coder)
                                   : WholeFrame(document, frame.pixels, coder);
        previous = &frame.pixels;
        const int delay = frame.delay < 0 ? 0 : frame.delay > 0xFFFF ? 0xFFFF : frame.delay;
        // Graphic control: every frame stays shown under the next one (which
        // therefore needs to hold only what changed), the delay, and the
        // transparent index if the frame has one.
        out.push_back(0x21);
        out.push_back(0xF9);
        out.push_back(4);
        out.push_back(patch.transparent >= 0 ? 0x05 : 0x04);
        Put16(out, delay);
        out.push_back(static_cast<uint8_t>(patch.transparent >= 0 ? patch.transparent : 0));
        out.push_back(0);
        // Image descriptor: the frame's rectangle, no local colour table, not interlaced.
        out.push_back(0x2C);
        Put16(out, patch.left);
        Put16(out, patch.top);
        Put16(out, patch.width);
        Put16(out, patch.height);
        out.push_back(0);
        out.insert(out.end(), patch.data.begin(), patch.data.end());
        if (out.size() > (1u << 20)) {
            if (!sink.Write(out.data(), out.size())) return false;
            out.clear();
        }
    }
    out.push_back(0x3B);
    return sink.Write(out.data(), out.size());
}
