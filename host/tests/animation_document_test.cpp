// Operation 2's copy of a frame: orientation and conversion of good frames,
// and refusal, with the document unchanged, of blocks that do not describe a
// frame of the document.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>

#include "host/animation_document.h"
#include "host/interrupt.h"
#include "host/output_file.h"
#include "win/dib_stride.h"

namespace {

struct Ramp {
    uint8_t rgb[768];
    Ramp()
    {
        for (int i = 0; i < 256; ++i) rgb[3 * i] = rgb[3 * i + 1] = rgb[3 * i + 2] = static_cast<uint8_t>(i);
    }
};

// A packed DIB block; edit may spoil the header after the pixels are set.
HGLOBAL MakeBlock(int width, int height, int depth, const std::function<uint8_t(int, int, int)>& value,
                  const std::function<void(BITMAPINFOHEADER&)>& edit = nullptr, int shortBy = 0)
{
    const int entries = depth == 8 ? 256 : 0;
    const int stride = static_cast<int>(DibStride(width, depth));
    const int rows = height < 0 ? -height : height;
    const size_t bytes = 40 + 4 * entries + static_cast<size_t>(stride) * rows - shortBy;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
    auto* p = static_cast<uint8_t*>(GlobalLock(block));
    auto* h = reinterpret_cast<BITMAPINFOHEADER*>(p);
    h->biSize = 40;
    h->biWidth = width;
    h->biHeight = height;
    h->biPlanes = 1;
    h->biBitCount = static_cast<WORD>(depth);
    for (int i = 0; i < entries; ++i) {  // an inverted grey table
        p[40 + 4 * i] = p[40 + 4 * i + 1] = p[40 + 4 * i + 2] = static_cast<uint8_t>(255 - i);
    }
    uint8_t* bits = p + 40 + 4 * entries;
    for (int row = 0; row < rows && shortBy == 0; ++row)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < depth / 8; ++c)
                bits[row * stride + x * (depth / 8) + c] = value(x, row, c);
    if (edit) edit(*h);
    GlobalUnlock(block);
    return block;
}

FrameRecord Record(HGLOBAL block)
{
    FrameRecord record = {};
    record.size = sizeof record;
    record.version = PluginInterfaceVersion;
    record.image = block;
    record.delay = 8;
    return record;
}

TEST(AnimationDocument, CopiesBottomUpRowsTopDownThroughTheColourTable)
{
    Ramp ramp;
    AnimationDocument document(5, 3, ramp.rgb, true);
    // Stored row r is image row 2 - r; pixel value 10 * image row + x.
    HGLOBAL block = MakeBlock(5, 3, 8, [](int x, int row, int) { return static_cast<uint8_t>(10 * (2 - row) + x); });
    FrameRecord record = Record(block);
    std::string why;
    ASSERT_TRUE(document.AddFrame(&record, why)) << why;
    GlobalFree(block);
    ASSERT_EQ(document.frames().size(), 1u);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)  // the frame's table is inverted: entry i is grey 255 - i
            EXPECT_EQ(document.frames()[0].pixels[y * 5 + x], 255 - (10 * y + x)) << x << "," << y;
}

TEST(AnimationDocument, ConvertsBetweenDepths)
{
    Ramp ramp;
    AnimationDocument palette(2, 2, ramp.rgb, true);
    HGLOBAL grey24 = MakeBlock(2, -2, 24, [](int x, int row, int) { return static_cast<uint8_t>(100 + 2 * row + x); });
    FrameRecord record = Record(grey24);
    std::string why;
    ASSERT_TRUE(palette.AddFrame(&record, why)) << why;
    GlobalFree(grey24);
    EXPECT_EQ(palette.frames()[0].pixels, (std::vector<uint8_t>{100, 101, 102, 103}));

    AnimationDocument rgb(2, 1, ramp.rgb, false);
    HGLOBAL indexed = MakeBlock(2, 1, 8, [](int x, int, int) { return static_cast<uint8_t>(x); });
    record = Record(indexed);
    ASSERT_TRUE(rgb.AddFrame(&record, why)) << why;
    GlobalFree(indexed);
    EXPECT_EQ(rgb.frames()[0].pixels, (std::vector<uint8_t>{255, 255, 255, 254, 254, 254}));
}

struct BadFrame {
    const char* name;
    int width, height, depth;
    std::function<void(BITMAPINFOHEADER&)> edit;
    int shortBy;
};

class AnimationDocumentRefuses : public ::testing::TestWithParam<BadFrame> {};

TEST_P(AnimationDocumentRefuses, LeavesTheDocumentUnchanged)
{
    Ramp ramp;
    AnimationDocument document(8, 4, ramp.rgb, true);
    const BadFrame& bad = GetParam();
    HGLOBAL block = MakeBlock(bad.width, bad.height, bad.depth, [](int, int, int) { return uint8_t(1); },
                              bad.edit, bad.shortBy);
    FrameRecord record = Record(block);
    std::string why;
    EXPECT_FALSE(document.AddFrame(&record, why));
    EXPECT_FALSE(why.empty());
    EXPECT_TRUE(document.frames().empty());
    EXPECT_EQ(GlobalFlags(block) & GMEM_LOCKCOUNT, 0u) << "the block was left locked";
    GlobalFree(block);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, AnimationDocumentRefuses,
    ::testing::Values(
        BadFrame{"wider", 9, 4, 8, nullptr, 0}, BadFrame{"shorter", 8, 3, 24, nullptr, 0},
        BadFrame{"sixteen_bits", 8, 4, 16, nullptr, 0},
        BadFrame{"compressed", 8, 4, 8, [](BITMAPINFOHEADER& h) { h.biCompression = BI_RLE8; }, 0},
        BadFrame{"two_planes", 8, 4, 24, [](BITMAPINFOHEADER& h) { h.biPlanes = 2; }, 0},
        BadFrame{"header_too_big", 8, 4, 8, [](BITMAPINFOHEADER& h) { h.biSize = 1u << 30; }, 0},
        BadFrame{"header_too_small", 8, 4, 8, [](BITMAPINFOHEADER& h) { h.biSize = 12; }, 0},
        BadFrame{"pixels_cut_short", 8, 4, 24, nullptr, 1}),
    [](const ::testing::TestParamInfo<BadFrame>& info) { return std::string(info.param.name); });

TEST(AnimationDocument, RefusesRecordsThatAreNotFrames)
{
    Ramp ramp;
    AnimationDocument document(8, 4, ramp.rgb, true);
    std::string why;
    EXPECT_FALSE(document.AddFrame(nullptr, why));
    FrameRecord record = Record(nullptr);
    EXPECT_FALSE(document.AddFrame(&record, why));
    HGLOBAL tiny = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 20);
    record = Record(tiny);
    EXPECT_FALSE(document.AddFrame(&record, why));
    record.size = 40;
    EXPECT_FALSE(document.AddFrame(&record, why));
    GlobalFree(tiny);
    EXPECT_TRUE(document.frames().empty());
}

TEST(AnimationDocument, ChecksFileObjectRecords)
{
    FileObjectRecord record = {};
    record.size = sizeof record;
    record.version = PluginInterfaceVersion;
    record.width = 64;
    record.height = 64;
    std::string why;
    EXPECT_TRUE(AnimationDocument::CheckFileObject(&record, why));
    for (auto spoil : std::vector<std::function<void(FileObjectRecord&)>>{
             [](FileObjectRecord& r) { r.size = 1000; }, [](FileObjectRecord& r) { r.version = 0x1000; },
             [](FileObjectRecord& r) { r.width = 0; }, [](FileObjectRecord& r) { r.height = -64; },
             [](FileObjectRecord& r) { r.width = 1 << 20; }}) {
        FileObjectRecord bad = record;
        spoil(bad);
        EXPECT_FALSE(AnimationDocument::CheckFileObject(&bad, why));
    }
    EXPECT_FALSE(AnimationDocument::CheckFileObject(nullptr, why));
}

TEST(OutputFile, NothingIsLeftWhenEncodingFailsOrTheRunIsStopped)
{
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    const std::string path = std::string(folder) + "leaderhost-output-test.gif";
    DeleteFileA(path.c_str());
    std::string why;
    ASSERT_TRUE(WriteFileAtomically(path, [](ByteSink& sink) { return sink.Write("old", 3); }, why)) << why;
    // The older complete file stays; no temporary file is left.
    auto onlyTheOldFile = [&path] {
        HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        char text[8] = {};
        DWORD read = 0;
        if (file != INVALID_HANDLE_VALUE) ReadFile(file, text, sizeof text, &read, nullptr);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((path + ".part*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) FindClose(search);
        return std::string(text, read) == "old" && search == INVALID_HANDLE_VALUE;
    };
    EXPECT_FALSE(WriteFileAtomically(path, [](ByteSink& sink) { sink.Write("half", 4); return false; }, why));
    EXPECT_TRUE(onlyTheOldFile());
    // A stop (Ctrl+C) while the new bytes are written: in a process of its
    // own, as a stop lasts for the rest of the run.
    EXPECT_EXIT(
        {
            const bool written = WriteFileAtomically(
                path, [](ByteSink& sink) { RecordInterrupt(2); return sink.Write("new", 3); }, why);
            std::exit(!written && why == "the run was interrupted" && onlyTheOldFile() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_TRUE(onlyTheOldFile());
    DeleteFileA(path.c_str());

    EXPECT_FALSE(CheckOutputWritable(std::string(folder) + "no-such-folder\\x.gif", why));
    EXPECT_FALSE(CheckOutputWritable(folder, why));
    EXPECT_EQ(why, "it is a folder");
}

}  // namespace
