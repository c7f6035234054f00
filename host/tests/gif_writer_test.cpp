// The GIF writer's LZW coder, decoded by a plain reference decoder written
// here from the format's rules, over data that exercises code widening and
// a full string table; and the container's fixed parts.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "host/animation_writers.h"

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
    uint8_t ramp[768];
    for (int i = 0; i < 256; ++i) ramp[3 * i] = ramp[3 * i + 1] = ramp[3 * i + 2] = static_cast<uint8_t>(i);
    AnimationDocument document(3, 2, ramp, true);
    // Two frames through the real AddFrame path: 8-bit blocks with a grey table.
    for (int f = 0; f < 2; ++f) {
        const size_t bytes = sizeof(BITMAPINFOHEADER) + 1024 + 4 * 2;
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
        auto* p = static_cast<uint8_t*>(GlobalLock(block));
        auto* h = reinterpret_cast<BITMAPINFOHEADER*>(p);
        h->biSize = sizeof *h;
        h->biWidth = 3;
        h->biHeight = 2;
        h->biPlanes = 1;
        h->biBitCount = 8;
        for (int i = 0; i < 256; ++i) std::memset(p + 40 + 4 * i, i, 3);
        std::memset(p + 40 + 1024, 10 * (f + 1), 8);
        GlobalUnlock(block);
        FrameRecord record = {};
        record.size = sizeof record;
        record.version = PluginInterfaceVersion;
        record.image = block;
        record.delay = 8 + f;
        std::string why;
        ASSERT_TRUE(document.AddFrame(&record, why)) << why;
        GlobalFree(block);
    }
    document.SetComment(std::string(300, 'c').c_str(), 1000);
    VectorSink sink;
    ASSERT_TRUE(WriteGif(document, sink));
    const std::vector<uint8_t>& gif = sink.bytes();

    ASSERT_GT(gif.size(), 13u + 768u);
    EXPECT_EQ(std::string(gif.begin(), gif.begin() + 6), "GIF89a");
    EXPECT_EQ(gif[6] | gif[7] << 8, 3);
    EXPECT_EQ(gif[8] | gif[9] << 8, 2);
    EXPECT_EQ(gif[10], 0xF7);
    EXPECT_EQ(0, std::memcmp(&gif[13], ramp, 768));
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

}  // namespace
