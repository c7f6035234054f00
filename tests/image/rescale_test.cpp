// The rescaler: kernel values, windows and weights, the examples the filter
// choice and the passes must reproduce, byte-for-byte agreement with the
// plain per-pixel reading, and the failure paths.
#include "image/rescale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "image/packed_dib.h"
#include "image/cpu_features.h"
#include "image/filter_passes.h"
#include "image/filter_windows.h"
#include "image/resize_kernels.h"
#include "tests/support/dib_compare.h"
#include "tests/support/import_patch.h"
#include "tests/support/rescale_oracle.h"
#include "tests/support/resource_watch.h"

namespace {

constexpr double Pi = 3.14159265358979323846;

// A block whose pixels come from fill(x, y); the padding bytes stay zero.
template <typename Fill>
HGLOBAL MakePicture(int32_t width, int32_t height, uint32_t bits, Fill fill, const RgbPalette* palette = nullptr)
{
    HGLOBAL block = CreatePackedDib(width, height, palette, bits);
    LockedDib dib(block);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) SetDibPixel(dib.header(), x, y, fill(x, y));
    return block;
}

HGLOBAL RandomPicture(int32_t width, int32_t height, uint32_t bits, uint32_t seed)
{
    std::mt19937 random(seed);
    return MakePicture(width, height, bits, [&](int32_t, int32_t) { return static_cast<uint32_t>(random()); });
}

// Grey pixels, and on a few rows colour ones, so that both ways of summing run.
HGLOBAL MostlyGreyPicture(int32_t width, int32_t height, uint32_t bits, uint32_t seed)
{
    std::mt19937 random(seed);
    return MakePicture(width, height, bits, [&](int32_t, int32_t y) {
        uint32_t v = random() & 0xFF;
        uint32_t pixel = v | (v << 8) | (v << 16);
        if (y % 7 == 3) pixel ^= random() & 0x0F0F0F;
        return pixel;
    });
}

// Flat areas with edges, as a leader frame has: a grid of cells of one value
// each (grey ones, or any colour), and a one-pixel line down and across, so
// that most windows read one value and the constant-window tables answer.
HGLOBAL FlatPicture(int32_t width, int32_t height, uint32_t bits, bool grey, uint32_t seed)
{
    std::mt19937 random(seed);
    auto value = [&] {
        uint32_t v = random();
        return grey ? (v & 0xFF) * 0x01010101u : v;
    };
    uint32_t cells[3][3], line = value();
    for (auto& row : cells)
        for (uint32_t& cell : row) cell = value();
    return MakePicture(width, height, bits, [&](int32_t x, int32_t y) {
        if (x == width / 2 || y == height / 3) return line;
        return cells[3 * y / height][3 * x / width];
    });
}

HGLOBAL GreyPicture(int32_t width, int32_t height, uint32_t seed)
{
    std::mt19937 random(seed);
    return MakePicture(width, height, 24, [&](int32_t, int32_t) {
        uint32_t v = random() & 0xFF;
        return v | (v << 8) | (v << 16);
    });
}

uint32_t Pixel(HGLOBAL block, int32_t x, int32_t y)
{
    LockedDib dib(block);
    return GetDibPixel(dib.header(), x, y);
}

std::vector<uint8_t> Bytes(HGLOBAL block)
{
    std::vector<uint8_t> bytes(GlobalSize(block));
    std::memcpy(bytes.data(), GlobalLock(block), bytes.size());
    GlobalUnlock(block);
    return bytes;
}

// RescalePixels over a block's own header and rows: it must give what
// RescaleDib gives for the block.
HGLOBAL RescaleRowsOf(HGLOBAL block, int32_t newWidth, int32_t newHeight, int filter, double blur,
                      RescaleMemory* memory)
{
    LockedDib dib(block);
    return RescalePixels(dib.header(), DibPixelBits(dib.header()), newWidth, newHeight, filter, blur, memory);
}

// Makes the test program's HeapAlloc calls fail from the n-th on (counting from 1).
class HeapAllocFailure {
public:
    explicit HeapAllocFailure(int from)
        : patch_(GetModuleHandleA(nullptr), "kernel32.dll", "HeapAlloc", reinterpret_cast<void*>(&Hook))
    {
        from_ = from;
        calls_ = 0;
    }
    bool active() const { return patch_.active(); }

private:
    static LPVOID WINAPI Hook(HANDLE heap, DWORD flags, SIZE_T bytes)
    {
        static auto* real = reinterpret_cast<decltype(&HeapAlloc)>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "HeapAlloc")));
        if (++calls_ >= from_) return nullptr;
        return real(heap, flags, bytes);
    }
    static int from_, calls_;
    ScopedImportPatch patch_;
};
int HeapAllocFailure::from_ = 0;
int HeapAllocFailure::calls_ = 0;

// The nth global allocation (kind 0), global lock (1) or heap allocation (2)
// fails while this lives.
struct InjectedFailure {
    InjectedFailure(GlobalMemoryWatch& watch, int kind, int n)
    {
        if (kind == 0) watch.failAlloc(n);
        if (kind == 1) watch.failLock(n);
        if (kind == 2) heap = std::make_unique<HeapAllocFailure>(n);
    }
    std::unique_ptr<HeapAllocFailure> heap;
};

// ---------------------------------------------------------------- kernels

struct KernelValue {
    int row;
    double x, expected;
};

TEST(ResizeFilters, KernelValues)
{
    const KernelValue values[] = {
        {1, -0.5, 1.0},        {1, 0.5, 0.0},          {2, -0.5, 1.0},      {2, 0.5, 0.0},
        {2, 0.0, 1.0},         {2, 0.4999, 1.0},       {3, 0.25, 0.75},     {3, -1.0, 0.0},
        {4, 0.5, 0.5},         {4, 0.0, 1.0},          {9, 0.0, 0.75},      {9, 0.5, 0.5},
        {9, 1.5, 0.0},         {10, 0.0, 2.0 / 3.0},   {10, 1.0, 1.0 / 6.0}, {10, 2.0, 0.0},
        {11, 0.0, 1.0},        {11, 1.0, 0.0},         {11, -1.0, 0.0},     {12, 0.0, 8.0 / 9.0},
        {12, 1.0, 1.0 / 18.0}, {12, -1.0, 1.0 / 18.0}, {12, 2.0, 0.0},      {13, 0.0, 1.0},
        {13, 1.0, 0.0},        {13, 2.0, 0.0},         {13, -2.0, 0.0},     {13, 3.0, 0.0},
        {5, 0.0, 1.0},         {5, 1.0, 0.0},          {6, 0.0, 1.0},       {6, 1.0, 0.08},
        {7, 0.0, 1.0},         {8, 0.0, std::sqrt(2.0 / Pi)}, {14, 0.0, Pi / 4.0}, {15, 0.0, 1.0},
        {15, 1.0, 0.0},
        // Inside each kernel's pieces, worked out by hand from the kernel
        // definitions (exact fractions) or to 20 digits with arbitrary
        // precision, never from the table's own formulas.
        {1, 0.25, 1.0},          {1, -0.75, 0.0},          {3, -0.6, 0.4},           {4, 0.25, 27.0 / 32.0},
        {4, -0.75, 5.0 / 32.0},  {5, 0.5, 0.5},            {5, 1.0 / 3.0, 0.75},     {6, 0.5, 0.54},
        {6, 1.0 / 3.0, 0.77},    {7, 0.5, 0.34},           {7, 1.0 / 3.0, 0.63},     {7, 1.0, 0.0},
        {8, 0.5, 0.4839414490382866997}, {8, 1.0, 0.1079819330263761039}, {9, 0.25, 11.0 / 16.0},
        {9, 1.0, 1.0 / 8.0},     {10, 0.5, 23.0 / 48.0},   {10, -1.5, 1.0 / 48.0},   {11, 0.5, 9.0 / 16.0},
        {11, 1.5, -1.0 / 16.0},  {12, 0.5, 77.0 / 144.0},  {12, -1.5, -5.0 / 144.0}, {13, 0.5, 6.0 / (Pi * Pi)},
        {13, -1.5, -4.0 / (3.0 * Pi * Pi)}, {14, 0.5, 0.51441357483824252571}, {14, 2.5, 0.0022770904707501583237},
        {15, 0.5, 0.59747294588186982763}, {15, -2.5, 0.021911146389509168134},
    };
    for (const KernelValue& v : values) {
        const ResizeFilter& f = ResizeFilters[v.row];
        EXPECT_NEAR(f.weight(v.x, f.support), v.expected, 1e-13) << "row " << v.row << " at " << v.x;
    }
    // The ends of the box are exact, and Lanczos-3 is cut off at 3.
    EXPECT_EQ(ResizeFilters[1].weight(-0.5, 0.0), 1.0);
    EXPECT_EQ(ResizeFilters[1].weight(0.5, 0.0), 0.0);
    EXPECT_EQ(ResizeFilters[13].weight(3.0, 3.0), 0.0);
    EXPECT_EQ(ResizeFilters[13].weight(0.0, 3.0), 1.0);
}

TEST(ResizeFilters, Supports)
{
    const double supports[16] = {0.0, 0.0, 0.5, 1.0, 1.0, 1.0, 1.0, 1.0, 1.25, 1.5, 2.0, 2.0, 2.0, 3.0,
                                 3.238300085067749, 4.0};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(ResizeFilters[i].support, supports[i]) << i;
    EXPECT_EQ(ResizeFilters[0].weight, ResizeFilters[1].weight);
}

TEST(ResizeFilters, BesselJ1ToDoublePrecision)
{
    // Reference values to 20 digits.
    const struct {
        double x, j1;
    } values[] = {
        {0.5, 0.24226845767487388638},   {1.0, 0.44005058574493351596},  {2.0, 0.5767248077568733872},
        {5.0, -0.32757913759146522204},  {8.0, 0.23463634685391462438},  {10.0, 0.04347274616886143667},
        {10.17, 0.00086615616487952271449}, {24.9, -0.13485569953140886933}, {25.0, -0.12535024958028990465},
        {30.0, -0.11875106261662293652}, {100.0, -0.077145352014112158033},
    };
    for (const auto& v : values) {
        EXPECT_NEAR(BesselJ1(v.x), v.j1, 2e-15) << v.x;
        EXPECT_NEAR(BesselJ1(-v.x), -v.j1, 2e-15) << -v.x;
    }
    EXPECT_EQ(BesselJ1(0.0), 0.0);
    // Blackman-Bessel at 1: J1(pi) / 2 times Blackman(1 / s).
    const ResizeFilter& f = ResizeFilters[14];
    double blackman = 0.42 + 0.5 * std::cos(Pi / f.support) + 0.08 * std::cos(2 * Pi / f.support);
    EXPECT_NEAR(f.weight(1.0, f.support), 0.14230767158987637867 * blackman, 1e-15);
}

// ---------------------------------------------------------------- windows

// One window as FilterWindow makes it, at blur 1.
struct OneWindow {
    int32_t start = -1, count = 0;
    double weight[64];
};

OneWindow WindowOf(int32_t index, int32_t sourceLength, double factor, int row)
{
    OneWindow w;
    const ResizeFilter& filter = ResizeFilters[row];
    w.count = FilterWindow(index, sourceLength, ScaleOfPass(factor, filter, 1.0), filter, 64, &w.start, w.weight);
    return w;
}

TEST(FilterWindow, Lanczos3AtFourToOne)
{
    // Output 10 of a 1024-pixel pass at 25 %: centre 42, pixels 30 to 53.
    OneWindow c = WindowOf(10, 1024, 0.25, 13);
    const int32_t n = c.count;
    ASSERT_EQ(n, 24);
    EXPECT_EQ(c.start, 30);
    double sum = 0.0;
    int negative = 0;
    for (int k = 0; k < n; ++k) {
        sum += c.weight[k];
        negative += c.weight[k] < 0.0;
        EXPECT_NEAR(c.weight[k], c.weight[23 - k], 1e-15) << "symmetric at " << k;
    }
    EXPECT_NEAR(sum, 1.0, 1e-14);
    EXPECT_EQ(negative, 8);
    EXPECT_NEAR(c.weight[11], 0.2437, 1e-4);  // pixels 4x + 1 and 4x + 2
    EXPECT_NEAR(c.weight[12], 0.2437, 1e-4);
    EXPECT_NEAR(c.weight[10], 0.1916, 1e-4);  // 4x and 4x + 3
    EXPECT_NEAR(c.weight[9], 0.1097, 1e-4);
    EXPECT_NEAR(c.weight[0], 0.0005, 1e-4);   // the outermost pair
    // The raw weights summed to about 3.9882 before normalising.
    EXPECT_NEAR(c.weight[11] * 3.9882, ResizeFilters[13].weight(0.125, 3.0), 1e-4);
}

TEST(FilterWindow, ClippedAtTheBorderNotExtended)
{
    OneWindow c = WindowOf(0, 1024, 0.25, 13);
    ASSERT_EQ(c.count, 14);  // source pixels 0 to 13
    EXPECT_EQ(c.start, 0);
    double sum = 0.0;
    for (int k = 0; k < c.count; ++k) sum += c.weight[k];
    EXPECT_NEAR(sum, 1.0, 1e-14);
    c = WindowOf(255, 1024, 0.25, 13);
    ASSERT_EQ(c.count, 14);
    EXPECT_EQ(c.start, 1010);  // to 1023
}

TEST(FilterWindow, PointAndBoxAtFourToOne)
{
    // Point: support 0 widens to 0.500001 with scale 1: pixels 4x + 1 and
    // 4x + 2 weighed 1 and 0.
    OneWindow c = WindowOf(3, 64, 0.25, 1);
    ASSERT_EQ(c.count, 2);
    EXPECT_EQ(c.start, 13);
    EXPECT_EQ(c.weight[0], 1.0);
    EXPECT_EQ(c.weight[1], 0.0);
    // Box: scale 4, four pixels of 0.25 each.
    c = WindowOf(3, 64, 0.25, 2);
    ASSERT_EQ(c.count, 4);
    EXPECT_EQ(c.start, 12);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(c.weight[k], 0.25);
}

// ---------------------------------------------------------------- examples

TEST(RescaleDib, PointAtFourToOneTakesPixelFourXPlusOne)
{
    HGLOBAL source = RandomPicture(32, 24, 24, 7);
    HGLOBAL result = RescaleDib(source, 8, 6, 1, 1.0);
    ASSERT_NE(result, nullptr);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_EQ(Pixel(result, x, y), Pixel(source, 4 * x + 1, 4 * y + 1));
    GlobalFree(result);
    GlobalFree(source);
}

TEST(RescaleDib, BoxAtFourToOneRoundsColumnMeansFirst)
{
    // The vertical pass runs first: a column (1, 1, 0, 0) averages 0.5 and
    // rounds up to 1, the other columns to 0; the row then averages
    // (1, 0, 0, 0) to 0.25 and rounds to 0.
    HGLOBAL source = MakePicture(4, 4, 8, [](int32_t x, int32_t y) { return (x == 0 && y < 2) ? 1u : 0u; });
    HGLOBAL result = RescaleDib(source, 1, 1, 2, 1.0);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(Pixel(result, 0, 0), 0u);
    GlobalFree(result);
    GlobalFree(source);

    source = MakePicture(4, 4, 8, [](int32_t x, int32_t y) { return (x < 2 && y < 2) ? 1u : 0u; });
    result = RescaleDib(source, 1, 1, 2, 1.0);
    // Column means 0.5, 0.5, 0, 0 round to 1, 1, 0, 0: mean 0.5 -> 1, where
    // the sixteen-pixel mean 0.25 would round to 0.
    EXPECT_EQ(Pixel(result, 0, 0), 1u);
    GlobalFree(result);
    GlobalFree(source);
}

TEST(RescaleDib, WhitePixelSpreadsAndNegativeLobesClampToZero)
{
    HGLOBAL source = MakePicture(64, 64, 24, [](int32_t x, int32_t y) { return x == 30 && y == 30 ? 0xFFFFFFu : 0u; });
    HGLOBAL result = RescaleDib(source, 16, 16, 0, 1.0);
    ASSERT_NE(result, nullptr);
    int lit = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            uint32_t v = Pixel(result, x, y);
            EXPECT_EQ(v & 0xFF, (v >> 8) & 0xFF);
            EXPECT_EQ(v & 0xFF, (v >> 16) & 0xFF);
            lit += v != 0;
        }
    // Source pixel 30 sits at kernel distance 0.125 from output 7, -0.875
    // from output 8 and 1.125 and -1.875 (negative lobes) from outputs 6 and 9.
    EXPECT_GT(Pixel(result, 7, 7), 0u);
    EXPECT_GT(Pixel(result, 8, 7), 0u);  // spread to neighbours
    EXPECT_GT(Pixel(result, 7, 8), 0u);
    EXPECT_EQ(lit, 3);
    // Outputs on the negative lobes clamp to 0 instead of wrapping.
    EXPECT_EQ(Pixel(result, 6, 7), 0u);
    EXPECT_EQ(Pixel(result, 9, 7), 0u);
    EXPECT_EQ(Pixel(result, 7, 6), 0u);
    EXPECT_EQ(Pixel(result, 7, 9), 0u);
    GlobalFree(result);
    GlobalFree(source);
}

TEST(RescaleDib, UniformStaysUniformForEveryFilterAndDepth)
{
    const uint32_t depths[] = {8, 24, 32};
    const int32_t sizes[][2] = {{5, 3}, {40, 40}, {1, 1}, {23, 61}};
    for (uint32_t bits : depths) {
        uint32_t value = bits == 8 ? 0x9C : bits == 24 ? 0x3C8A17 : 0xE13C8A17;
        HGLOBAL source = MakePicture(17, 13, bits, [&](int32_t, int32_t) { return value; });
        for (int filter = 0; filter < 16; ++filter)
            for (const auto& size : sizes) {
                HGLOBAL result = RescaleDib(source, size[0], size[1], filter, 1.0);
                ASSERT_NE(result, nullptr);
                for (int y = 0; y < size[1]; ++y)
                    for (int x = 0; x < size[0]; ++x)
                        ASSERT_EQ(Pixel(result, x, y), value)
                            << bits << " bits, filter " << filter << ", " << size[0] << "x" << size[1];
                GlobalFree(result);
            }
        GlobalFree(source);
    }
}

TEST(RescaleDib, BorderOutputUsesOnlyTheFirstFourteenPixels)
{
    // Changing source pixels 14 and beyond never changes output 0 at 4:1.
    HGLOBAL a = RandomPicture(64, 64, 24, 3);
    std::vector<uint8_t> before;
    HGLOBAL b = DuplicateGlobalBlock(a);
    {
        LockedDib dib(b);
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x)
                if (x >= 14 || y >= 14) SetDibPixel(dib.header(), x, y, 0xFFFFFF - GetDibPixel(dib.header(), x, y));
    }
    HGLOBAL ra = RescaleDib(a, 16, 16, 0, 1.0);
    HGLOBAL rb = RescaleDib(b, 16, 16, 0, 1.0);
    EXPECT_EQ(Pixel(ra, 0, 0), Pixel(rb, 0, 0));
    EXPECT_NE(Pixel(ra, 1, 1), Pixel(rb, 1, 1));
    for (HGLOBAL h : {a, b, ra, rb}) GlobalFree(h);
}

TEST(RescaleDib, FilterChoice)
{
    HGLOBAL source = RandomPicture(12, 10, 24, 11);
    auto same = [&](int32_t w, int32_t h, int i, int j) {
        HGLOBAL x = RescaleDib(source, w, h, i, 1.0);
        HGLOBAL y = OracleRescaleDib(source, w, h, j, 1.0);
        bool equal = SameBlockBytes(x, y);
        GlobalFree(x);
        GlobalFree(y);
        return equal;
    };
    EXPECT_TRUE(same(24, 20, 0, 12));   // doubling: Mitchell
    EXPECT_FALSE(same(24, 20, 0, 13));
    EXPECT_TRUE(same(24, 5, 0, 13));    // product 1.0: Lanczos-3
    EXPECT_FALSE(same(24, 5, 0, 12));
    EXPECT_TRUE(same(7, 9, 16, 15));    // 16 behaves as 15
    EXPECT_TRUE(same(7, 9, 1000, 15));
    EXPECT_TRUE(same(7, 9, -1, 13));    // a negative index behaves as 0
    EXPECT_TRUE(same(7, 9, -1, 0));
    GlobalFree(source);
}

TEST(RescaleDib, IdenticalSizeIsAByteCopyForEveryFilter)
{
    HGLOBAL source = RandomPicture(7, 5, 24, 5);
    {
        // Padding bytes that are not zero are copied as they are.
        LockedDib dib(source);
        dib.row(2)[21] = 0xAB;
    }
    for (int filter = -1; filter <= 16; ++filter) {
        HGLOBAL result = RescaleDib(source, 7, 5, filter, 1.0);
        EXPECT_TRUE(SameBlockBytes(result, source)) << filter;
        GlobalFree(result);
        result = RescaleRowsOf(source, 7, 5, filter, 1.0, nullptr);
        EXPECT_TRUE(SameBlockBytes(result, source)) << "from its rows, filter " << filter;
        GlobalFree(result);
    }
    // A blur other than 1 filters even at the same size.
    HGLOBAL blurred = RescaleDib(source, 7, 5, 13, 2.0);
    EXPECT_FALSE(SameBlockBytes(blurred, source));
    GlobalFree(blurred);
    GlobalFree(source);
}

TEST(RescaleDib, ZeroPixelResults)
{
    HGLOBAL source = RandomPicture(9, 6, 24, 1);
    const int32_t sizes[][2] = {{0, 6}, {9, 0}, {0, 0}, {0, 3}, {4, 0}};
    for (const auto& size : sizes) {
        HGLOBAL result = RescaleDib(source, size[0], size[1], 0, 1.0);
        ASSERT_NE(result, nullptr);
        LockedDib dib(result);
        EXPECT_EQ(dib.header()->biWidth, size[0]);
        EXPECT_EQ(dib.header()->biHeight, size[1]);
        EXPECT_EQ(dib.header()->biSizeImage, 0u);
        EXPECT_EQ(GlobalSize(result), 40u);
        GlobalFree(result);
    }
    GlobalFree(source);

    HGLOBAL narrow = RandomPicture(1, 8, 24, 2);
    HGLOBAL result = RescaleDibPercent(narrow, 25, 25, 0);  // width trunc(0.75) = 0
    ASSERT_NE(result, nullptr);
    int32_t width = -1, height = -1;
    GetPackedDibInfo(result, &width, &height, nullptr, nullptr);
    EXPECT_EQ(width, 0);
    EXPECT_EQ(height, 2);
    GlobalFree(result);
    GlobalFree(narrow);
}

TEST(RescaleDib, PercentRoundsEachSide)
{
    HGLOBAL source = RandomPicture(10, 7, 24, 9);
    const int32_t cases[][4] = {{25, 25, 3, 2}, {50, 50, 5, 4}, {150, 100, 15, 7}, {33, 10, 3, 1}};
    for (const auto& c : cases) {
        HGLOBAL result = RescaleDibPercent(source, c[0], c[1], 0);
        int32_t width = 0, height = 0;
        ASSERT_TRUE(GetPackedDibInfo(result, &width, &height, nullptr, nullptr));
        EXPECT_EQ(width, c[2]);
        EXPECT_EQ(height, c[3]);
        HGLOBAL expected = OracleRescaleDib(source, c[2], c[3], 0, 1.0);
        EXPECT_TRUE(SameBlockBytes(result, expected));
        GlobalFree(expected);
        GlobalFree(result);
    }
    EXPECT_EQ(RescaleDibPercent(nullptr, 25, 25, 0), nullptr);
    GlobalFree(source);
}

TEST(RescaleDib, EightBitKeepsItsTableAndAveragesIndices)
{
    RgbPalette palette;
    for (int i = 0; i < 256; ++i) palette.entries[i] = {uint8_t(255 - i), uint8_t(i * 7), uint8_t(i / 3)};
    HGLOBAL source = MakePicture(8, 8, 8, [](int32_t x, int32_t) { return x < 4 ? 10u : 30u; }, &palette);
    HGLOBAL result = RescaleDib(source, 2, 2, 2, 1.0);
    ASSERT_NE(result, nullptr);
    RgbPalette out;
    int32_t bits = 0;
    GetPackedDibInfo(result, nullptr, nullptr, &bits, &out);
    EXPECT_EQ(bits, 8);
    EXPECT_EQ(std::memcmp(&out, &palette, sizeof palette), 0);
    EXPECT_EQ(Pixel(result, 0, 0), 10u);
    EXPECT_EQ(Pixel(result, 1, 1), 30u);
    HGLOBAL middle = RescaleDib(source, 1, 1, 2, 1.0);
    EXPECT_EQ(Pixel(middle, 0, 0), 20u);  // the mean index, not a colour
    GlobalFree(middle);
    GlobalFree(result);
    GlobalFree(source);
}

TEST(RescaleDib, RefusedInputs)
{
    HGLOBAL four = CreatePackedDib(8, 8, nullptr, 4);
    EXPECT_EQ(RescaleDib(four, 4, 4, 0, 1.0), nullptr);
    GlobalFree(four);
    HGLOBAL empty = CreatePackedDib(0, 5, nullptr, 24);
    EXPECT_EQ(RescaleDib(empty, 4, 4, 0, 1.0), nullptr);
    GlobalFree(empty);
    HGLOBAL source = RandomPicture(8, 8, 24, 4);
    EXPECT_EQ(RescaleDib(source, -1, 4, 0, 1.0), nullptr);
    EXPECT_EQ(RescaleDib(source, 4, 4, 0, std::nan("")), nullptr);
    EXPECT_EQ(RescaleDib(nullptr, 4, 4, 0, 1.0), nullptr);
    EXPECT_EQ(LockCount(source), 0u);
    {
        // A blur so large that a pass's scale is infinite, or its support
        // infinity times the point kernel's 0: no windows can be made.
        GlobalMemoryWatch watch;
        for (int filter : {1, 13}) {
            EXPECT_EQ(RescaleDib(source, 4, 4, filter, 1e308), nullptr) << filter;
            EXPECT_EQ(RescaleRowsOf(source, 4, 4, filter, 1e308, nullptr), nullptr) << filter;
        }
        EXPECT_EQ(watch.liveBlocks(), 0u);
    }
    EXPECT_EQ(RescaleRowsOf(source, -1, 4, 0, 1.0, nullptr), nullptr);
    EXPECT_EQ(RescaleRowsOf(source, 4, 4, 0, std::nan(""), nullptr), nullptr);
    {
        LockedDib dib(source);
        EXPECT_EQ(RescalePixels(nullptr, DibPixelBits(dib.header()), 4, 4, 0, 1.0, nullptr), nullptr);
        EXPECT_EQ(RescalePixels(dib.header(), nullptr, 4, 4, 0, 1.0, nullptr), nullptr);
        BITMAPINFOHEADER topDown = *dib.header();
        topDown.biHeight = -8;
        EXPECT_EQ(RescalePixels(&topDown, DibPixelBits(dib.header()), 4, 4, 0, 1.0, nullptr), nullptr);
        topDown.biHeight = 8;
        topDown.biBitCount = 16;
        EXPECT_EQ(RescalePixels(&topDown, DibPixelBits(dib.header()), 4, 4, 0, 1.0, nullptr), nullptr);
    }
    GlobalFree(source);
}

// ---------------------------------------------------------------- against the oracle

struct OracleCase {
    int32_t width, height, newWidth, newHeight;
};

const char* const ContentNames[] = {"random", "mostly grey", "flat grey cells", "flat colour cells"};

const OracleCase OracleSizes[] = {
    {64, 64, 16, 16},  // the pipeline's 4:1
    {37, 23, 9, 6},    // odd reductions
    {13, 9, 29, 31},   // enlargements
    {21, 17, 42, 8},   // mixed, horizontal first
    {17, 21, 5, 40},   // mixed the other way
    {11, 7, 11, 3},    // one side kept
    {9, 5, 1, 1},      // one pixel
    {1, 1, 5, 3},      // from one pixel
    {3, 50, 7, 2},
    {50, 3, 2, 7},
    {10, 10, 0, 4},    // no pixels
    {33, 19, 33, 19},  // identical size
    {99, 5, 25, 5},
    {96, 64, 24, 16},   // 4:1 with room for flat windows
    {40, 100, 10, 47},  // an irregular reduction: more weight sets than tables
};

TEST(CpuFeatures, AvxCheckAgreesWithTheCompilers)
{
    // The hand-written CPUID and XGETBV check (it must build with MSVC too)
    // against GCC's own, which asks the same of processor and system.
#if defined(__GNUC__)
    __builtin_cpu_init();
    EXPECT_EQ(ProcessorHasAvx(), __builtin_cpu_supports("avx") != 0);
#endif
    std::printf("256-bit routines %s\n", ProcessorHasAvx() ? "in use" : "not available: only SSE2 is tested");
}

// Runs a test body with and without the 256-bit vector sums.
class WideVectors {
public:
    explicit WideVectors(bool use) : saved_(UseWideVectors) { UseWideVectors = use; }
    ~WideVectors() { UseWideVectors = saved_; }

private:
    bool saved_;
};

class RescaleAgainstOracle : public testing::TestWithParam<std::tuple<int, uint32_t, bool>> {};

TEST_P(RescaleAgainstOracle, ByteIdentical)
{
    const int filter = std::get<0>(GetParam());
    const uint32_t bits = std::get<1>(GetParam());
    WideVectors wide(std::get<2>(GetParam()));
    // One RescaleMemory through every size, starting with garbage in it.
    RescaleMemory kept;
    std::memset(kept.reserve(1 << 16), 0xA5, 1 << 16);
    uint32_t seed = 1;
    for (const OracleCase& c : OracleSizes) {
        for (int content = 0; content < 4; ++content) {
            HGLOBAL source = content == 0   ? RandomPicture(c.width, c.height, bits, seed++)
                             : content == 1 ? MostlyGreyPicture(c.width, c.height, bits, seed++)
                                            : FlatPicture(c.width, c.height, bits, content == 2, seed++);
            for (double blur : {1.0, 0.7, 2.5}) {
                HGLOBAL fast = RescaleDib(source, c.newWidth, c.newHeight, filter, blur);
                HGLOBAL plain = OracleRescaleDib(source, c.newWidth, c.newHeight, filter, blur);
                HGLOBAL fresh = RescaleRowsOf(source, c.newWidth, c.newHeight, filter, blur, nullptr);
                HGLOBAL reused = RescaleRowsOf(source, c.newWidth, c.newHeight, filter, blur, &kept);
                ASSERT_NE(fast, nullptr);
                SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " -> " << c.newWidth << "x"
                                                << c.newHeight << " blur " << blur << " content " << ContentNames[content]);
                EXPECT_TRUE(SameBlockBytes(plain, fast));
                EXPECT_TRUE(SameBlockBytes(plain, fresh)) << "from the rows";
                EXPECT_TRUE(SameBlockBytes(plain, reused)) << "from the rows with kept memory";
                for (HGLOBAL h : {fast, plain, fresh, reused}) GlobalFree(h);
            }
            EXPECT_EQ(LockCount(source), 0u);
            GlobalFree(source);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryFilterAndDepth, RescaleAgainstOracle,
                         testing::Combine(testing::Range(0, 16), testing::Values(8u, 24u, 32u), testing::Bool()));

class GreyAgainstOracle : public testing::TestWithParam<bool> {};

TEST_P(GreyAgainstOracle, GreyPicturesAndLongRows)
{
    // Whole-grey pictures take the one-channel sums in both passes; widths
    // around the vector blocks and the sixteen-pixel grey test. Every other
    // picture has one coloured pixel in its last row, found only after grey
    // sums were written.
    WideVectors wide(GetParam());
    const int32_t widths[] = {15, 16, 17, 47, 48, 49, 50, 130};
    uint32_t seed = 100;
    for (int32_t width : widths)
        for (int filter : {0, 1, 2, 11, 13, 14}) {
            HGLOBAL source = GreyPicture(width, 37, seed++);
            if (seed % 2 == 0) {
                LockedDib dib(source);
                dib.row(36)[3 * (width / 2)] ^= 1;
            }
            const int32_t sizes[3][2] = {{width / 4, 9}, {width * 2 + 1, 40}, {width + 3, 12}};
            for (const int32_t* size : sizes) {
                HGLOBAL fast = RescaleDib(source, size[0], size[1], filter, 1.0);
                HGLOBAL plain = OracleRescaleDib(source, size[0], size[1], filter, 1.0);
                EXPECT_TRUE(SameBlockBytes(fast, plain)) << width << " -> " << size[0] << "x" << size[1] << " filter " << filter;
                GlobalFree(fast);
                GlobalFree(plain);
            }
            GlobalFree(source);
        }
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutWideVectors, GreyAgainstOracle, testing::Bool());

// Sets one of the rescaler's memory limits for the length of a scope.
class ScopedLimit {
public:
    ScopedLimit(uint64_t& limit, uint64_t value) : limit_(limit), saved_(limit) { limit = value; }
    ~ScopedLimit() { limit_ = saved_; }
    ScopedLimit(const ScopedLimit&) = delete;
    ScopedLimit& operator=(const ScopedLimit&) = delete;

private:
    uint64_t& limit_;
    uint64_t saved_;
};

TEST(RescaleAgainstOracleWide, WorkingMemoryLimits)
{
    // Windows too tall to keep converted (one accumulator row), windows too
    // many to keep (each computed when its output is reached), and both.
    const struct {
        uint64_t rowCache, windows;
    } limits[] = {{0, FilterWindowMemoryLimit}, {FilterRowCacheLimit, 0}, {0, 0}};
    const int32_t sizes[][2] = {{11, 10}, {70, 90}, {90, 20}};
    for (const auto& limit : limits) {
        ScopedLimit rows(FilterRowCacheLimit, limit.rowCache);
        ScopedLimit windows(FilterWindowMemoryLimit, limit.windows);
        for (uint32_t bits : {8u, 24u, 32u})
            for (int content = 0; content < 2; ++content) {
                HGLOBAL source = content ? GreyPicture(45, 41, 77) : RandomPicture(45, 41, bits, 78);
                for (int filter : {0, 3, 13, 15})
                    for (const auto& size : sizes) {
                        HGLOBAL fast = RescaleDib(source, size[0], size[1], filter, 1.0);
                        HGLOBAL plain = OracleRescaleDib(source, size[0], size[1], filter, 1.0);
                        EXPECT_TRUE(SameBlockBytes(plain, fast))
                            << "limits " << limit.rowCache << ", " << limit.windows << ": " << bits << " bits, filter "
                            << filter << ", " << size[0] << "x" << size[1];
                        GlobalFree(fast);
                        GlobalFree(plain);
                    }
                GlobalFree(source);
            }
    }
    // So a rescale's working memory does not grow with its windows: 8192 x
    // 8192 with blur 1000 (Lanczos-3, 6003 pixels a window) once needed about
    // 786 MB of windows.
    EXPECT_LT(FilterWorkspaceBytes(8192, 8192, 8192, 8192, 24, 6003), 2u << 20);
}

TEST(RescaleAgainstOracleWide, UnusualBlurs)
{
    // No blur, a negative one (both fall back to the narrowest window) and
    // one wide enough for every window to cover the whole source.
    HGLOBAL source = RandomPicture(23, 17, 24, 61);
    for (double blur : {0.0, -1.5, 1e6, 40.0})
        for (int filter : {0, 2, 8, 13, 15}) {
            HGLOBAL fast = RescaleDib(source, 9, 31, filter, blur);
            HGLOBAL plain = OracleRescaleDib(source, 9, 31, filter, blur);
            ASSERT_NE(fast, nullptr);
            EXPECT_TRUE(SameBlockBytes(fast, plain)) << "blur " << blur << " filter " << filter;
            GlobalFree(fast);
            GlobalFree(plain);
        }
    GlobalFree(source);
}

TEST(RescaleAgainstOracleWide, PipelineSizeLeaderLikeFrame)
{
    // 256 x 256 at 25 %, greys with a disc and rings as the leader paints.
    HGLOBAL source = MakePicture(256, 256, 24, [](int32_t x, int32_t y) {
        double dx = x - 128.0, dy = y - 128.0, r = std::sqrt(dx * dx + dy * dy);
        uint32_t v = r < 60 ? 0x30 : (r > 90 && r < 96) ? 0xF0 : (x == 128 || y == 128) ? 0xE0 : 0x80;
        return v | (v << 8) | (v << 16);
    });
    HGLOBAL fast = RescaleDibPercent(source, 25, 25, 0);
    HGLOBAL plain = OracleRescaleDib(source, 64, 64, 0, 1.0);
    EXPECT_TRUE(SameBlockBytes(plain, fast));
    // A build's frames and the preview's interleaved through one memory,
    // which keeps the larger size's block for both after the first round.
    HGLOBAL preview = MostlyGreyPicture(400, 380, 24, 5);
    HGLOBAL previewPlain = OracleRescaleDib(preview, 100, 95, 0, 1.0);
    RescaleMemory kept;
    size_t keptBytes = 0;
    for (int frame = 0; frame < 4; ++frame) {
        HGLOBAL built = RescaleRowsOf(source, 64, 64, 0, 1.0, &kept);
        EXPECT_TRUE(SameBlockBytes(plain, built)) << "frame " << frame;
        HGLOBAL shown = RescaleRowsOf(preview, 100, 95, 0, 1.0, &kept);
        EXPECT_TRUE(SameBlockBytes(previewPlain, shown)) << "preview " << frame;
        if (frame == 0) keptBytes = kept.keptBytes();
        EXPECT_EQ(kept.keptBytes(), keptBytes);
        GlobalFree(built);
        GlobalFree(shown);
    }
    EXPECT_GT(keptBytes, 0u);
    kept.release();
    EXPECT_EQ(kept.keptBytes(), 0u);
    for (HGLOBAL h : {fast, plain, preview, previewPlain, source}) GlobalFree(h);
}

// ---------------------------------------------------------------- failures

TEST(RescaleDib, SourceUnchangedAndUnlocked)
{
    for (uint32_t bits : {8u, 24u, 32u}) {
        HGLOBAL source = RandomPicture(30, 20, bits, 12);
        std::vector<uint8_t> before = Bytes(source);
        GlobalLock(source);  // a caller's own lock stays as it was
        HGLOBAL result = RescaleDib(source, 8, 5, 0, 1.0);
        EXPECT_EQ(LockCount(source), 1u);
        GlobalUnlock(source);
        EXPECT_EQ(Bytes(source), before);
        GlobalFree(result);
        GlobalFree(source);
    }
}

TEST(RescaleDib, EveryAllocationAndLockFailureLeavesNothingBehind)
{
    HGLOBAL source = RandomPicture(40, 30, 24, 21);
    std::vector<uint8_t> before = Bytes(source);
    HGLOBAL expected = OracleRescaleDib(source, 10, 7, 0, 1.0);
    // The source is locked and its rows rescaled as RescalePixels does: the
    // result's allocation, its two locks (one in CreatePackedDib) after the
    // source's, then the working memory from the heap.
    const char* kinds[] = {"allocation ", "lock ", "heap allocation "};
    const int firstSuccess[] = {2, 4, 2};
    for (int kind = 0; kind < 3; ++kind) {
        for (int n = 1;; ++n) {
            HGLOBAL result;
            size_t live;
            int locks;
            {
                GlobalMemoryWatch watch;
                InjectedFailure failure(watch, kind, n);
                if (kind == 2) {
                    ASSERT_TRUE(failure.heap->active());
                }
                result = RescaleDib(source, 10, 7, 0, 1.0);
                live = watch.liveBlocks();
                locks = watch.heldLocks();
            }
            SCOPED_TRACE(testing::Message() << kinds[kind] << n);
            EXPECT_EQ(locks, 0);
            EXPECT_EQ(LockCount(source), 0u);
            EXPECT_EQ(Bytes(source), before);
            if (result) {
                EXPECT_EQ(live, 1u);
                EXPECT_TRUE(SameBlockBytes(result, expected));
                GlobalFree(result);
                EXPECT_EQ(n, firstSuccess[kind]) << "a failure went unnoticed";
                break;
            }
            EXPECT_EQ(live, 0u);
            ASSERT_LT(n, 10);
        }
    }
    GlobalFree(expected);
    GlobalFree(source);
}

TEST(RescalePixels, EveryFailureLeavesNothingBehindAndOnlyTheResultIsGlobal)
{
    HGLOBAL source = RandomPicture(40, 30, 24, 21);
    HGLOBAL expected = OracleRescaleDib(source, 10, 7, 0, 1.0);
    LockedDib dib(source);
    // The result's allocation and its two locks (one in CreatePackedDib),
    // then the working memory: each failure is a null result.
    const char* kinds[] = {"allocation ", "lock ", "heap allocation "};
    const int firstSuccess[] = {2, 3, 2};
    for (bool keep : {false, true})
        for (int kind = 0; kind < 3; ++kind)
            for (int n = 1;; ++n) {
                SCOPED_TRACE(testing::Message() << kinds[kind] << n << (keep ? " with kept memory" : ""));
                RescaleMemory memory;
                HGLOBAL result;
                size_t live;
                int locks, allocations;
                {
                    GlobalMemoryWatch watch;
                    InjectedFailure failure(watch, kind, n);
                    if (kind == 2) {
                        ASSERT_TRUE(failure.heap->active());
                    }
                    result = RescalePixels(dib.header(), DibPixelBits(dib.header()), 10, 7, 0, 1.0,
                                           keep ? &memory : nullptr);
                    live = watch.liveBlocks();
                    locks = watch.heldLocks();
                    allocations = watch.allocCalls();
                }
                EXPECT_EQ(locks, 0);
                if (result) {
                    EXPECT_EQ(live, 1u);
                    EXPECT_EQ(allocations, 1);
                    EXPECT_TRUE(SameBlockBytes(expected, result));
                    EXPECT_EQ(memory.keptBytes() > 0, keep);
                    GlobalFree(result);
                    EXPECT_EQ(n, firstSuccess[kind]) << "a failure went unnoticed";
                    break;
                }
                EXPECT_EQ(live, 0u);
                ASSERT_LT(n, 10);
            }
    GlobalFree(expected);
}

TEST(RescalePixels, MemoryKeptUpToItsLimit)
{
    HGLOBAL source = RandomPicture(40, 30, 32, 23);
    HGLOBAL expected = OracleRescaleDib(source, 13, 9, 11, 1.0);
    RescaleMemory small(1024);  // less than this rescale needs
    HGLOBAL result = RescaleRowsOf(source, 13, 9, 11, 1.0, &small);
    EXPECT_TRUE(SameBlockBytes(expected, result));
    EXPECT_EQ(small.keptBytes(), 0u);
    EXPECT_EQ(small.reserve(1025), nullptr);
    EXPECT_NE(small.reserve(1024), nullptr);
    EXPECT_GE(small.keptBytes(), 1024u);
    for (HGLOBAL h : {source, expected, result}) GlobalFree(h);
}

TEST(RescaleDib, FailedCopyOfAnIdenticalSize)
{
    HGLOBAL source = RandomPicture(6, 6, 24, 22);
    for (int n = 1; n <= 2; ++n) {
        GlobalMemoryWatch watch;
        watch.failAlloc(n);  // the destination, then the copy
        EXPECT_EQ(RescaleDib(source, 6, 6, 0, 1.0), nullptr);
        EXPECT_EQ(watch.liveBlocks(), 0u);
        EXPECT_EQ(watch.heldLocks(), 0);
    }
    EXPECT_EQ(LockCount(source), 0u);
    GlobalFree(source);
}

}  // namespace
