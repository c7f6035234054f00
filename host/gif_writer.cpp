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

}  // namespace

void AppendGifImageData(const std::vector<uint8_t>& indices, std::vector<uint8_t>& out)
{
    std::vector<uint8_t> packed;
    BitPacker bits(packed);
    // The string table: next[prefix * 256 + byte] is the code of prefix+byte,
    // 0 when absent (no string ever gets code 0, which is a single byte).
    std::vector<uint16_t> next(static_cast<size_t>(kMaxCodes) * 256, 0);
    int codeSize = kMinCodeSize + 1;
    int nextCode = kEndCode + 1;

    bits.Put(kClearCode, codeSize);
    if (!indices.empty()) {
        int prefix = indices[0];
        for (size_t i = 1; i < indices.size(); ++i) {
            const uint8_t byte = indices[i];
            uint16_t& slot = next[static_cast<size_t>(prefix) * 256 + byte];
            if (slot != 0) {
                prefix = slot;
                continue;
            }
            bits.Put(prefix, codeSize);
            if (nextCode < kMaxCodes) {
                slot = static_cast<uint16_t>(nextCode++);
                // A decoder adds this string one code later, so it widens its
                // codes once the string just added has a code of the full width.
                if (nextCode > (1 << codeSize) && codeSize < 12) ++codeSize;
            } else {
                bits.Put(kClearCode, codeSize);
                std::fill(next.begin(), next.end(), 0);
                codeSize = kMinCodeSize + 1;
                nextCode = kEndCode + 1;
            }
            prefix = byte;
        }
        bits.Put(prefix, codeSize);
    }
    bits.Put(kEndCode, codeSize);
    bits.Flush();

    out.push_back(kMinCodeSize);
    AppendSubBlocks(packed.data(), packed.size(), out);
}

bool WriteGif(const AnimationDocument& document, ByteSink& sink)
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

    for (const DocumentFrame& frame : document.frames()) {
        int delay = frame.delay < 0 ? 0 : frame.delay > 0xFFFF ? 0xFFFF : frame.delay;
        // Graphic control: leave the frame in place, no transparency, the delay.
        out.push_back(0x21);
        out.push_back(0xF9);
        out.push_back(4);
        out.push_back(0x04);
        Put16(out, delay);
        out.push_back(0);
        out.push_back(0);
        // Image descriptor: the whole screen, no local colour table, not interlaced.
        out.push_back(0x2C);
        Put16(out, 0);
        Put16(out, 0);
        Put16(out, document.width());
        Put16(out, document.height());
        out.push_back(0);
        AppendGifImageData(frame.pixels, out);
        if (out.size() > (1u << 20)) {
            if (!sink.Write(out.data(), out.size())) return false;
            out.clear();
        }
    }
    out.push_back(0x3B);
    return sink.Write(out.data(), out.size());
}
