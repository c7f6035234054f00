// What the frame engine's learning relies on, held against whole paints: a
// layer drawn tile by tile over a region gives the whole paint's pixels
// there; one angle's backdrop differs from the previous one's only inside
// the sweep's marked wedge, and its runs found from that wedge are the whole
// paint's; the overlay found tile by tile is the one two whole paints give;
// a laid box checked against GDI's drawing is found alike or replaced.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "render/byte_runs.h"
#include "render/layer_learning.h"
#include "render/leader_layers.h"
#include "render/number_pictures.h"
#include "tests/support/dib_compare.h"

namespace {

// A surface of one fill as a packed DIB's bytes (header, then rows), painted
// whole with `paint`.
template <typename Paint>
std::vector<uint8_t> PaintedWhole(int32_t width, int32_t height, uint8_t fill, Paint paint)
{
    const BITMAPINFOHEADER header = Rgb24Header(width, height);
    DibCanvas canvas(header);
    if (!canvas) return {};
    std::memset(canvas.bits(), fill, header.biSizeImage);
    const RECT rect = {0, 0, width, height};
    paint(canvas.dc(), &rect);
    GdiFlush();
    std::vector<uint8_t> dib(reinterpret_cast<const uint8_t*>(&header), reinterpret_cast<const uint8_t*>(&header + 1));
    const auto* bits = static_cast<const uint8_t*>(canvas.bits());
    dib.insert(dib.end(), bits, bits + header.biSizeImage);
    return dib;
}

uint8_t* PixelsOf(std::vector<uint8_t>& dib) { return dib.data() + sizeof(BITMAPINFOHEADER); }

struct SizeCase {
    int32_t width, height, tileSide;
};
void PrintTo(const SizeCase& c, std::ostream* os) { *os << c.width << "x" << c.height << " in tiles of " << c.tileSide; }

class TiledLayers : public ::testing::TestWithParam<SizeCase> {};

// Every layer, painted tile by tile over the whole surface (and over a
// region: a band and a diagonal), gives the whole paint's bytes.
TEST_P(TiledLayers, GiveTheWholePaintsPixels)
{
    const SizeCase c = GetParam();
    ChangedPixels all, part;
    all.resize(c.width, c.height);
    part.resize(c.width, c.height);
    part.clear();
    for (int32_t y = 0; y < c.height; ++y) part.mark(y, y * c.width / c.height - 20, y * c.width / c.height + 33);
    struct Layer {
        const char* name;
        uint8_t fill;
        std::function<bool(HDC, const RECT*)> paint;
    };
    const Layer layers[] = {
        {"backdrop 360", 0, [](HDC dc, const RECT* r) { return PaintLeaderBackdrop(dc, r, 360); }},
        {"backdrop 354", 0, [](HDC dc, const RECT* r) { return PaintLeaderBackdrop(dc, r, 354); }},
        {"backdrop 177", 0, [](HDC dc, const RECT* r) { return PaintLeaderBackdrop(dc, r, 177); }},
        {"backdrop 6", 0, [](HDC dc, const RECT* r) { return PaintLeaderBackdrop(dc, r, 6); }},
        {"number 8 over 128", 128, [](HDC dc, const RECT* r) { return PaintLeaderNumber(dc, r, 8); }},
        {"number 0 over 200", 200, [](HDC dc, const RECT* r) { return PaintLeaderNumber(dc, r, 0); }},
        {"number -1 over 0", 0, [](HDC dc, const RECT* r) { return PaintLeaderNumber(dc, r, -1); }},
        {"overlay over 0", 0, PaintLeaderOverlay},
        {"overlay over 255", 255, PaintLeaderOverlay},
    };
    for (const Layer& layer : layers) {
        const std::vector<uint8_t> whole = PaintedWhole(c.width, c.height, layer.fill, layer.paint);
        ASSERT_FALSE(whole.empty());
        for (const ChangedPixels* region : {&all, &part}) {
            std::vector<uint8_t> tiled = PaintedWhole(c.width, c.height, layer.fill, [](HDC, const RECT*) {});
            ASSERT_TRUE(PaintOverRegion(PixelsOf(tiled), c.width, c.height, *region, c.tileSide, layer.paint));
            std::vector<uint8_t> expected = PaintedWhole(c.width, c.height, layer.fill, [](HDC, const RECT*) {});
            // The whole paint's pixels inside the region, the fill outside.
            const size_t stride = DibStride(c.width, 24);
            for (int32_t y = 0; y < c.height; ++y) {
                const ChangedPixels::Span span = region->row(y);
                if (span.empty()) continue;
                const size_t at = sizeof(BITMAPINFOHEADER) + static_cast<size_t>(c.height - 1 - y) * stride;
                std::memcpy(&expected[at + span.from * 3], &whole[at + span.from * 3], (span.to - span.from) * 3);
            }
            EXPECT_TRUE(SameDibBytes(expected, tiled)) << layer.name << (region == &all ? ", whole" : ", diagonal");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, TiledLayers,
                         ::testing::Values(SizeCase{1024, 1024, BackdropTileSide}, SizeCase{1024, 1024, OverlayTileSide},
                                           SizeCase{400, 352, 100}, SizeCase{600, 260, 61}, SizeCase{68, 36, 16},
                                           SizeCase{256, 1024, 129}),
                         [](const ::testing::TestParamInfo<SizeCase>& info) {
                             return std::to_string(info.param.width) + "x" + std::to_string(info.param.height) +
                                    "_tiles_" + std::to_string(info.param.tileSide);
                         });

// From each angle to the next, at several sizes and steps: the two
// backdrops differ only inside the wedge marked between them, and the next
// one's runs found from the wedge over the first's stamp the whole paint's
// bytes.
TEST(SweepBetweenAngles, BackdropsDifferOnlyInsideTheMarkedWedge)
{
    const SizeCase sizes[] = {{1024, 1024, 0}, {400, 352, 0}, {256, 1024, 0}, {600, 260, 0}, {68, 36, 0}, {772, 772, 0}};
    for (const SizeCase& c : sizes) {
        const RECT rect = {0, 0, c.width, c.height};
        for (int32_t step : {6, 30, 90}) {
            std::vector<uint8_t> before = PaintedWhole(c.width, c.height, 0, [](HDC dc, const RECT* r) {
                return PaintLeaderBackdrop(dc, r, 360);
            });
            ByteRuns beforeRuns;
            ASSERT_TRUE(BackdropRunsOf(PixelsOf(before), c.width, c.height, &beforeRuns));
            for (int32_t from = 360; from - step > 0; from -= step) {
                const int32_t to = from - step;
                SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << ", " << from << " to " << to);
                std::vector<uint8_t> after = PaintedWhole(c.width, c.height, 0, [to](HDC dc, const RECT* r) {
                    return PaintLeaderBackdrop(dc, r, to);
                });
                ChangedPixels wedge;
                wedge.resize(c.width, c.height);
                wedge.clear();
                ASSERT_TRUE(MarkSweepBetween(&rect, from, to, &wedge));
                // The earlier backdrop with the later painted over the wedge only.
                std::vector<uint8_t> made = before;
                ASSERT_TRUE(PaintOverRegion(PixelsOf(made), c.width, c.height, wedge, BackdropTileSide,
                                            [to](HDC dc, const RECT* r) { return PaintLeaderBackdrop(dc, r, to); }));
                ASSERT_TRUE(SameDibBytes(after, made));
                ByteRuns runs;
                ASSERT_TRUE(BackdropRunsOf(beforeRuns, PixelsOf(made), c.width, c.height, wedge, &runs));
                std::vector<uint8_t> stamped(after.size(), 0x5A);
                std::memcpy(stamped.data(), after.data(), sizeof(BITMAPINFOHEADER));
                StampRuns(PixelsOf(stamped), runs);
                ASSERT_TRUE(SameDibBytes(after, stamped));
                before = std::move(after);
                beforeRuns = std::move(runs);
            }
        }
    }
    // A wider turn, or one that goes back up (a new number), is no wedge.
    const RECT rect = {0, 0, 64, 64};
    ChangedPixels region;
    region.resize(64, 64);
    EXPECT_FALSE(MarkSweepBetween(&rect, 270, 90, &region));
    EXPECT_FALSE(MarkSweepBetween(&rect, 6, 360, &region));
}

// The overlay found tile by tile is the bytes equal on two whole surfaces of
// different fills after painting it on both.
TEST(FindLeaderOverlay, IsWhatTwoWholePaintsLeaveAlike)
{
    for (const SizeCase& c : {SizeCase{1024, 1024, 0}, SizeCase{400, 352, 0}, SizeCase{1000, 260, 0}, SizeCase{68, 36, 0}}) {
        const std::vector<uint8_t> black = PaintedWhole(c.width, c.height, 0, PaintLeaderOverlay);
        const std::vector<uint8_t> white = PaintedWhole(c.width, c.height, 255, PaintLeaderOverlay);
        ByteRuns runs;
        ASSERT_TRUE(FindLeaderOverlay(c.width, c.height, &runs));
        // Stamped over each field, the runs give that field's paint.
        for (const std::vector<uint8_t>* painted : {&black, &white}) {
            std::vector<uint8_t> stamped = PaintedWhole(c.width, c.height, painted == &black ? 0 : 255, [](HDC, const RECT*) {});
            StampRuns(PixelsOf(stamped), runs);
            EXPECT_TRUE(SameDibBytes(*painted, stamped)) << c.width << "x" << c.height;
        }
    }
}

// A number laid as GDI draws it is found alike; a laid box with a wrong
// pixel is found to differ and replaced by GDI's drawing.
TEST(CheckLaidBox, FindsTheLayingAlikeOrReplacesIt)
{
    const int32_t width = 400, height = 352;
    std::vector<uint8_t> frame = PaintedWhole(width, height, 0, [](HDC dc, const RECT* r) {
        return PaintLeaderBackdrop(dc, r, 300) && PaintLeaderNumber(dc, r, 7) && PaintLeaderOverlay(dc, r);
    });
    std::vector<uint8_t> backdrop = PaintedWhole(width, height, 0, [](HDC dc, const RECT* r) {
        return PaintLeaderBackdrop(dc, r, 300);
    });
    ByteRuns backdropRuns, overlayRuns;
    ASSERT_TRUE(BackdropRunsOf(PixelsOf(backdrop), width, height, &backdropRuns));
    ASSERT_TRUE(FindLeaderOverlay(width, height, &overlayRuns));
    RECT box;
    ASSERT_TRUE(FindNumberBox(width, height, 7, &box));
    std::vector<uint8_t> laid = frame;
    EXPECT_EQ(CheckLaidBox(PixelsOf(laid), width, height, 7, box, backdropRuns, overlayRuns), LaidFrameCheck::Same);
    EXPECT_TRUE(SameDibBytes(frame, laid));
    const size_t stride = DibStride(width, 24);
    PixelsOf(laid)[static_cast<size_t>(height - 1 - (box.top + box.bottom) / 2) * stride + ((box.left + box.right) / 2) * 3] ^= 1;
    EXPECT_EQ(CheckLaidBox(PixelsOf(laid), width, height, 7, box, backdropRuns, overlayRuns), LaidFrameCheck::Differs);
    EXPECT_TRUE(SameDibBytes(frame, laid));
}

}  // namespace
