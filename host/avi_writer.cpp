// Uncompressed AVI output. Every size is known before the first byte is
// written, so the file goes out in one pass without seeking back.
#include <cstring>

#include "host/animation_writers.h"
#include "win/dib_stride.h"

namespace {

class RiffBuffer {
public:
    void Four(const char* code) { bytes_.insert(bytes_.end(), code, code + 4); }
    void U32(uint32_t value)
    {
        for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
    void U16(uint16_t value)
    {
        bytes_.push_back(static_cast<uint8_t>(value));
        bytes_.push_back(static_cast<uint8_t>(value >> 8));
    }
    void Bytes(const void* data, size_t size)
    {
        const auto* p = static_cast<const uint8_t*>(data);
        bytes_.insert(bytes_.end(), p, p + size);
    }
    std::vector<uint8_t>& bytes() { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

constexpr uint32_t kAviHasIndex = 0x10;
constexpr uint32_t kIndexKeyFrame = 0x10;
const char kSoftware[] = "leaderhost, the countdown leader plug-in's reference host";

// An INFO sub-chunk of a NUL-terminated text, padded to an even size.
void InfoText(RiffBuffer& riff, const char* id, const std::string& text)
{
    riff.Four(id);
    riff.U32(static_cast<uint32_t>(text.size() + 1));
    riff.Bytes(text.c_str(), text.size() + 1);
    if ((text.size() + 1) % 2) riff.bytes().push_back(0);
}

uint32_t InfoTextSize(const std::string& text) { return 8 + ((text.size() + 2) & ~size_t(1)); }

}  // namespace

bool WriteAvi(const AnimationDocument& document, ByteSink& sink)
{
    if (document.paletteImages()) return false;
    const uint32_t width = document.width(), height = document.height();
    const uint32_t stride = static_cast<uint32_t>(DibStride(document.width(), 24));
    const uint32_t frameBytes = stride * height;
    const uint32_t frameCount = static_cast<uint32_t>(document.frames().size());
    const uint64_t total = (8 + uint64_t(frameBytes)) * frameCount + 16ull * frameCount;
    if (total > 0xF0000000ull) return false;  // past what a RIFF file can hold
    const uint32_t delayMs = frameCount && document.frames()[0].delay > 0
                                 ? static_cast<uint32_t>(document.frames()[0].delay) : 1;

    const std::string software = kSoftware;
    const uint32_t infoSize = 4 + InfoTextSize(software) +
                              (document.comment().empty() ? 0 : InfoTextSize(document.comment()));
    const uint32_t strlSize = 4 + (8 + 56) + (8 + 40);
    const uint32_t hdrlSize = 4 + (8 + 56) + (8 + strlSize);
    const uint32_t moviSize = 4 + frameCount * (8 + frameBytes);
    const uint32_t idx1Size = frameCount * 16;
    const uint32_t riffSize = 4 + (8 + hdrlSize) + (8 + infoSize) + (8 + moviSize) + (8 + idx1Size);

    RiffBuffer riff;
    riff.Four("RIFF");
    riff.U32(riffSize);
    riff.Four("AVI ");

    riff.Four("LIST");
    riff.U32(hdrlSize);
    riff.Four("hdrl");
    riff.Four("avih");
    riff.U32(56);
    riff.U32(delayMs * 1000);                 // microseconds per frame
    riff.U32(frameBytes * (1000 / delayMs + 1));  // maximum bytes per second
    riff.U32(0);                              // padding granularity
    riff.U32(kAviHasIndex);
    riff.U32(frameCount);
    riff.U32(0);                              // initial frames
    riff.U32(1);                              // streams
    riff.U32(frameBytes);                     // suggested buffer size
    riff.U32(width);
    riff.U32(height);
    for (int i = 0; i < 4; ++i) riff.U32(0);

    riff.Four("LIST");
    riff.U32(strlSize);
    riff.Four("strl");
    riff.Four("strh");
    riff.U32(56);
    riff.Four("vids");
    riff.Four("DIB ");
    riff.U32(0);                              // flags
    riff.U16(0);                              // priority
    riff.U16(0);                              // language
    riff.U32(0);                              // initial frames
    riff.U32(delayMs);                        // scale / rate = seconds per frame
    riff.U32(1000);
    riff.U32(0);                              // start
    riff.U32(frameCount);                     // length in frames
    riff.U32(frameBytes);                     // suggested buffer size
    riff.U32(0xFFFFFFFF);                     // default quality
    riff.U32(frameBytes);                     // sample size
    riff.U16(0);
    riff.U16(0);
    riff.U16(static_cast<uint16_t>(width));
    riff.U16(static_cast<uint16_t>(height));
    riff.Four("strf");
    riff.U32(40);
    riff.U32(40);                             // BITMAPINFOHEADER: size
    riff.U32(width);
    riff.U32(height);                         // bottom-up rows
    riff.U16(1);                              // planes
    riff.U16(24);                             // bits per pixel
    riff.U32(BI_RGB);
    riff.U32(frameBytes);
    for (int i = 0; i < 4; ++i) riff.U32(0);  // resolution and colour counts

    riff.Four("LIST");
    riff.U32(infoSize);
    riff.Four("INFO");
    InfoText(riff, "ISFT", software);
    if (!document.comment().empty()) InfoText(riff, "ICMT", document.comment());

    riff.Four("LIST");
    riff.U32(moviSize);
    riff.Four("movi");
    if (!sink.Write(riff.bytes().data(), riff.bytes().size())) return false;

    // Frames are kept top-down; an AVI's DIB frames run bottom-up.
    std::vector<uint8_t> chunk(8 + frameBytes, 0);
    std::memcpy(chunk.data(), "00db", 4);
    std::memcpy(chunk.data() + 4, &frameBytes, 4);
    for (const DocumentFrame& frame : document.frames()) {
        for (uint32_t y = 0; y < height; ++y)
            std::memcpy(chunk.data() + 8 + stride * (height - 1 - y),
                        frame.pixels.data() + static_cast<size_t>(y) * width * 3, width * 3);
        if (!sink.Write(chunk.data(), chunk.size())) return false;
    }

    RiffBuffer index;
    index.Four("idx1");
    index.U32(idx1Size);
    for (uint32_t i = 0; i < frameCount; ++i) {
        index.Four("00db");
        index.U32(kIndexKeyFrame);
        index.U32(4 + i * (8 + frameBytes));  // from the 'movi' code
        index.U32(frameBytes);
    }
    return sink.Write(index.bytes().data(), index.bytes().size());
}
