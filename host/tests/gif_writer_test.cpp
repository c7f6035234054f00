// The GIF writer's LZW coder, decoded by a plain reference decoder written
// here from the format's rules, over data that exercises code widening and
// a full string table; and the container's fixed parts.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>

#include "host/animation_writers.h"
#include "win/dib_stride.h"

namespace {

// Decodes one image's data (minimum code size byte, sub-blocks, terminator)
// starting at pos; returns the indices and moves pos past the terminator.
std::vector<uint8_t> DecodeImageData(const std::vector<uint8_t>& data, size_t& pos)
{
    const int minSize = data.at(pos++);
    std::vector<uint8_t> packed;
    for (;;) {
        int n = data.at(pos++);
        if (n == 0) break;
        packed.insert(packed.end(), data.begin() + pos, data.begin() + pos + n);
        pos += n;
    }
    const int clear = 1 << minSize, end = clear + 1;
    std::vector<std::vector<uint8_t>> table;
    auto reset = [&] {
        table.assign(clear + 2, {});
        for (int i = 0; i < clear; ++i) table[i] = {static_cast<uint8_t>(i)};
    };
    reset();
    int width = minSize + 1;
    size_t bit = 0;
    int previous = -1;
    std::vector<uint8_t> out;
    for (;;) {
        if (bit + width > packed.size() * 8) ADD_FAILURE() << "ran out of data";
        if (bit + width > packed.size() * 8) return out;
        int code = 0;
        for (int i = 0; i < width; ++i, ++bit)
            code |= ((packed[bit / 8] >> (bit % 8)) & 1) << i;
        if (code == clear) {
            reset();
            width = minSize + 1;
            previous = -1;
            continue;
        }
        if (code == end) return out;
        std::vector<uint8_t> entry;
        if (code < static_cast<int>(table.size())) {
            entry = table[code];
            if (previous >= 0) {
                auto added = table[previous];
                added.push_back(entry[0]);
                table.push_back(added);
            }
        } else {
            EXPECT_EQ(code, static_cast<int>(table.size())) << "code out of the table";
            if (previous < 0 || code != static_cast<int>(table.size())) return out;
            entry = table[previous];
            entry.push_back(entry[0]);
            table.push_back(entry);
        }
        EXPECT_LE(table.size(), 4096u);
        if (table.size() == (1u << width) && width < 12) ++width;
        out.insert(out.end(), entry.begin(), entry.end());
        previous = code;
    }
}

struct Ramp {
    uint8_t rgb[768];
    Ramp()
    {
        for (int i = 0; i < 256; ++i) rgb[3 * i] = rgb[3 * i + 1] = rgb[3 * i + 2] = static_cast<uint8_t>(i);
    }
};

// Adds a frame through the real AddFrame path: an 8-bit block with a grey
// table, bottom-up, from pixels given top-down.
void AddGreyFrame(AnimationDocument& document, const std::vector<uint8_t>& pixels, int delay)
{
    const int width = document.width(), height = document.height();
    const int stride = static_cast<int>(DibStride(width, 8));
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT,
                                sizeof(BITMAPINFOHEADER) + 1024 + static_cast<size_t>(stride) * height);
    auto* p = static_cast<uint8_t*>(GlobalLock(block));
    auto* h = reinterpret_cast<BITMAPINFOHEADER*>(p);
    h->biSize = sizeof *h;
    h->biWidth = width;
    h->biHeight = height;
    h->biPlanes = 1;
    h->biBitCount = 8;
    for (int i = 0; i < 256; ++i) std::memset(p + 40 + 4 * i, i, 3);
    for (int y = 0; y < height; ++y)
        std::memcpy(p + 40 + 1024 + static_cast<size_t>(height - 1 - y) * stride,
                    pixels.data() + static_cast<size_t>(y) * width, width);
    GlobalUnlock(block);
    FrameRecord record = {};
    record.size = sizeof record;
    record.version = PluginInterfaceVersion;
    record.image = block;
    record.delay = delay;
    std::string why;
    EXPECT_TRUE(document.AddFrame(&record, why)) << why;
    GlobalFree(block);
}

// What a viewer shows after each frame of a GIF written by WriteGif: every
// image is drawn over the one before (the writer asks for that), except
// where it is transparent.
std::vector<std::vector<uint8_t>> ShownFrames(const std::vector<uint8_t>& gif, int width, int height)
{
    std::vector<std::vector<uint8_t>> shown;
    std::vector<uint8_t> canvas(static_cast<size_t>(width) * height, 0);
    size_t pos = 13 + 768;
    int transparent = -1;
    while (pos < gif.size() && gif[pos] != 0x3B) {
        if (gif[pos] == 0x21) {  // an extension: only the graphic control matters
            if (gif.at(pos + 1) == 0xF9) {
                EXPECT_EQ(gif[pos + 3] & 0x1C, 0x04) << "a frame that is not left in place";
                transparent = gif[pos + 3] & 1 ? gif[pos + 6] : -1;
            }
            pos += 2;
            while (gif.at(pos) != 0) pos += gif[pos] + 1;
            ++pos;
            continue;
        }
        EXPECT_EQ(gif[pos], 0x2C);
        if (gif[pos] != 0x2C) break;
        const int left = gif[pos + 1] | gif[pos + 2] << 8, top = gif[pos + 3] | gif[pos + 4] << 8;
        const int w = gif[pos + 5] | gif[pos + 6] << 8, h = gif[pos + 7] | gif[pos + 8] << 8;
        EXPECT_EQ(gif[pos + 9], 0) << "a local colour table or interlacing";
        EXPECT_TRUE(w >= 1 && h >= 1 && left + w <= width && top + h <= height)
            << "rectangle " << left << "," << top << " " << w << " x " << h;
        pos += 10;
        const std::vector<uint8_t> indices = DecodeImageData(gif, pos);
        EXPECT_EQ(indices.size(), static_cast<size_t>(w) * h);
        for (size_t i = 0; i < indices.size() && i < static_cast<size_t>(w) * h; ++i) {
            const int x = left + static_cast<int>(i % w), y = top + static_cast<int>(i / w);
            if (indices[i] != transparent && x < width && y < height)
                canvas[static_cast<size_t>(y) * width + x] = indices[i];
        }
        shown.push_back(canvas);
        transparent = -1;
    }
    return shown;
}

struct LzwCase {
    const char* name;
    size_t size;
    int symbols;  // 1: a constant, 256: noise, else noise over that many values
};

class GifLzw : public ::testing::TestWithParam<LzwCase> {};

TEST_P(GifLzw, RoundTrips)
{
    std::mt19937 random(1234);
    std::vector<uint8_t> indices(GetParam().size);
    for (size_t i = 0; i < indices.size(); ++i)
        indices[i] = GetParam().symbols == 1 ? 77 : static_cast<uint8_t>(random() % GetParam().symbols);
    std::vector<uint8_t> data;
    AppendGifImageData(indices, data);
    size_t pos = 0;
    EXPECT_EQ(DecodeImageData(data, pos), indices);
    EXPECT_EQ(pos, data.size()) << "bytes after the block terminator";
}

INSTANTIATE_TEST_SUITE_P(
    Data, GifLzw,
    ::testing::Values(LzwCase{"one_pixel", 1, 1}, LzwCase{"flat_64x64", 64 * 64, 1},
                      LzwCase{"two_values", 64 * 64, 2}, LzwCase{"sixteen_values", 128 * 128, 16},
                      // Noise fills the 4096-entry table several times over.
                      LzwCase{"noise_256x256", 256 * 256, 256}),
    [](const ::testing::TestParamInfo<LzwCase>& info) { return std::string(info.param.name); });

TEST(GifWriter, WritesHeaderLoopCommentAndDelays)
{
    const Ramp ramp;
    AnimationDocument document(3, 2, ramp.rgb, true);
    AddGreyFrame(document, std::vector<uint8_t>(6, 10), 8);
    AddGreyFrame(document, std::vector<uint8_t>(6, 20), 9);
    document.SetComment(std::string(300, 'c').c_str(), 1000);
    VectorSink sink;
    ASSERT_TRUE(WriteGif(document, sink));
    const std::vector<uint8_t>& gif = sink.bytes();

    ASSERT_GT(gif.size(), 13u + 768u);
    EXPECT_EQ(std::string(gif.begin(), gif.begin() + 6), "GIF89a");
    EXPECT_EQ(gif[6] | gif[7] << 8, 3);
    EXPECT_EQ(gif[8] | gif[9] << 8, 2);
    EXPECT_EQ(gif[10], 0xF7);
    EXPECT_EQ(0, std::memcmp(&gif[13], ramp.rgb, 768));
    size_t pos = 13 + 768;
    const uint8_t looping[] = {0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(&gif[pos], looping, sizeof looping));
    pos += sizeof looping;
    // The 300-byte comment in a 255-byte and a 45-byte sub-block.
    ASSERT_EQ(gif[pos], 0x21);
    EXPECT_EQ(gif[pos + 1], 0xFE);
    EXPECT_EQ(gif[pos + 2], 255);
    EXPECT_EQ(gif[pos + 3 + 255], 45);
    EXPECT_EQ(gif[pos + 3 + 255 + 1 + 45], 0);
    pos += 3 + 255 + 1 + 45 + 1;
    for (int f = 0; f < 2; ++f) {
        ASSERT_EQ(gif[pos], 0x21) << "frame " << f;
        EXPECT_EQ(gif[pos + 1], 0xF9);
        EXPECT_EQ(gif[pos + 4] | gif[pos + 5] << 8, 8 + f) << "frame " << f;
        pos += 8;
        ASSERT_EQ(gif[pos], 0x2C);
        pos += 10;
        EXPECT_EQ(DecodeImageData(gif, pos), std::vector<uint8_t>(6, static_cast<uint8_t>(10 * (f + 1))));
    }
    EXPECT_EQ(gif[pos], 0x3B);
    EXPECT_EQ(pos + 1, gif.size());
}

// Frames after the first are stored as what changed; whatever way each one is
// stored, a viewer must show exactly the document's frames.
struct ChangeCase {
    const char* name;
    int width, height;
    // Frame f from frame f - 1 (frame 0 from zeros).
    std::function<void(int f, std::vector<uint8_t>& pixels, std::mt19937& random)> next;
};

class GifChanges : public ::testing::TestWithParam<ChangeCase> {};

TEST_P(GifChanges, ShowExactlyTheFrames)
{
    const ChangeCase& c = GetParam();
    const Ramp ramp;
    AnimationDocument document(c.width, c.height, ramp.rgb, true);
    std::mt19937 random(99);
    std::vector<uint8_t> pixels(static_cast<size_t>(c.width) * c.height, 0);
    for (int f = 0; f < 6; ++f) {
        c.next(f, pixels, random);
        AddGreyFrame(document, pixels, 5);
    }
    VectorSink changes, whole;
    ASSERT_TRUE(WriteGif(document, changes));
    ASSERT_TRUE(WriteGif(document, whole, GifFrames::Whole));
    for (const VectorSink* sink : {&changes, &whole}) {
        const auto shown = ShownFrames(sink->bytes(), c.width, c.height);
        ASSERT_EQ(shown.size(), document.frames().size());
        for (size_t f = 0; f < shown.size(); ++f)
            EXPECT_EQ(shown[f], document.frames()[f].pixels)
                << (sink == &whole ? "whole " : "changed ") << "frame " << f;
    }
    EXPECT_LE(changes.bytes().size(), whole.bytes().size());
}

INSTANTIATE_TEST_SUITE_P(
    Frames, GifChanges,
    ::testing::Values(
        ChangeCase{"nothing_changes", 9, 7, [](int, std::vector<uint8_t>& p, std::mt19937&) { p.assign(p.size(), 200); }},
        ChangeCase{"opposite_corners", 9, 7,
                   [](int f, std::vector<uint8_t>& p, std::mt19937&) {
                       p.front() = static_cast<uint8_t>(f);
                       p.back() = static_cast<uint8_t>(f + 1);
                   }},
        // A few pixels in a field of many values: the unchanged pixels around them
        // are best sent as transparent, with an index the changed ones do not use.
        ChangeCase{"sparse_noise", 40, 30,
                   [](int f, std::vector<uint8_t>& p, std::mt19937& random) {
                       if (f == 0)
                           for (auto& v : p) v = static_cast<uint8_t>(random());
                       for (int i = 0; i < 12; ++i) p[random() % p.size()] = static_cast<uint8_t>(random());
                   }},
        // The changed pixels use all 256 indices, unchanged ones sit among them:
        // there is no index left to mean transparent.
        ChangeCase{"every_index_changes", 20, 16,
                   [](int f, std::vector<uint8_t>& p, std::mt19937&) {
                       for (size_t i = 0; i < 256; ++i) p[i] = static_cast<uint8_t>(i + f);
                       for (size_t i = 256; i < p.size(); ++i) p[i] = 7;
                   }}),
    [](const ::testing::TestParamInfo<ChangeCase>& info) { return std::string(info.param.name); });

}  // namespace
