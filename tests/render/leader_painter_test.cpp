// The leader painter on real 24-bit DIB sections and on a recording
// metafile: pixels of each layer, the exact GDI calls, RotatePoint, the
// stepping of the counter, and that no GDI object or selection is lost.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ostream>
#include <cstdlib>
#include <string>
#include <vector>

#include "render/leader_painter.h"
#include "tests/render/dib_surface.h"
#include "tests/support/resource_watch.h"

namespace {

constexpr double Pi = 3.14159265358979323846;

// Paints one frame and returns what PaintLeaderFrame returned.
int Paint(const DibSurface& surface, int32_t number, int32_t angle)
{
    RECT rect = surface.rect();
    return PaintLeaderFrame(surface.dc(), &rect, &number, &angle, LeaderSweepStep, 9);
}

// The frame the issue asks to look at: number 7 at angle 270, 1024 x 1024.
TEST(LeaderPainter, SavesNumberSevenAtAngle270)
{
    DibSurface surface(1024, 1024);
    ASSERT_TRUE(surface);
    Paint(surface, 7, 270);
    EXPECT_TRUE(surface.saveBmp("leader_7_at_270.bmp"));
}

struct SizeCase {
    int width, height;
};
std::ostream& operator<<(std::ostream& out, const SizeCase& c) { return out << c.width << "x" << c.height; }

// The frame's measures as the painter's rules give them.
struct Measures {
    int cx, cy, e, m, fontHeight, inner, outer;
};
Measures Measure(int w, int h)
{
    Measures g;
    g.cx = w / 2;
    g.cy = h / 2;
    g.e = std::max(w, h);
    g.m = std::min(w, h) - 16;
    g.fontHeight = g.m > 128 ? g.m - 96 : g.m - 24;
    g.inner = g.m / 3 + 4;
    g.outer = g.inner + 16;
    return g;
}

class PainterSizes : public ::testing::TestWithParam<SizeCase> {};

// Away from the number, the rings, the crosshair and the wedge's two edges,
// every pixel is grey 200 inside the wedge (clockwise from 12 o'clock over
// 360 - angle degrees) and grey 128 elsewhere.
TEST_P(PainterSizes, WedgeAndSectorWhereTheAngleSaysAwayFromTheRest)
{
    const SizeCase c = GetParam();
    const Measures g = Measure(c.width, c.height);
    DibSurface surface(c.width, c.height);
    ASSERT_TRUE(surface);
    for (int angle : {360, 354, 270, 180, 6}) {
        Paint(surface, 5, angle);
        const double wedge = 360.0 - angle;
        int checked = 0, inWedge = 0;
        for (int y = 1; y < c.height; y += 3) {
            for (int x = 1; x < c.width; x += 3) {
                const double dx = x + 0.5 - g.cx, dy = y + 0.5 - g.cy;
                const double r = std::hypot(dx, dy);
                if (std::abs(dx) < 5 || std::abs(dy) < 5) continue;                          // crosshair
                if (std::abs(r - g.inner) < 7 || std::abs(r - g.outer) < 7) continue;         // rings
                if (std::abs(dx) < std::abs(g.fontHeight) + 4 && std::abs(dy) < std::abs(g.fontHeight) / 2 + 8)
                    continue;                                                                   // number
                if (g.fontHeight <= 0 && std::abs(dx) < 24 && std::abs(dy) < 24) continue;      // default-sized number
                double clockwise = std::atan2(dx, -dy) * 180.0 / Pi;  // from 12 o'clock
                if (clockwise < 0) clockwise += 360.0;
                const double offEdge = std::abs(r * std::sin((clockwise - wedge) * Pi / 180.0));
                if (wedge > 0 && offEdge < 4 && std::cos((clockwise - wedge) * Pi / 180.0) > 0) continue;
                const int expected = clockwise < wedge ? 200 : 128;
                ASSERT_EQ(surface.grey(x, y), expected)
                    << c << " angle " << angle << " at (" << x << ", " << y << ")";
                ++checked;
                if (expected == 200) ++inWedge;
            }
        }
        EXPECT_GT(checked, 0) << c << " angle " << angle;
        // A 6-degree wedge is too thin to find clear of the crosshair on small frames.
        if (angle <= 270 || (angle != 360 && std::min(c.width, c.height) >= 256)) {
            EXPECT_GT(inWedge, 0) << c << " angle " << angle << ": no wedge pixel checked";
        }
    }
}

// Along a ray from the centre through empty background (angle 360, towards
// the top-left corner), grey 240 appears at the two ring radii, 8 pixels wide,
// and nowhere else.
TEST_P(PainterSizes, RingsAtTheirRadiiOnly)
{
    const SizeCase c = GetParam();
    const Measures g = Measure(c.width, c.height);
    DibSurface surface(c.width, c.height);
    ASSERT_TRUE(surface);
    Paint(surface, 1, 360);
    int ringPixels = 0;
    for (int t = 3; g.cx - t >= 0 && g.cy - t >= 0; ++t) {
        const int x = g.cx - t, y = g.cy - t;
        const double r = std::hypot(x + 0.5 - g.cx, y + 0.5 - g.cy);
        const double nearest = std::min(std::abs(r - g.inner), std::abs(r - g.outer));
        const int grey = surface.grey(x, y);
        if (nearest <= 2.5) {
            EXPECT_EQ(grey, 240) << c << " r " << r;
        }
        if (grey == 240) {
            ++ringPixels;
            EXPECT_LE(nearest, 5.5) << c << " ring grey at r " << r;
        } else if (nearest > 5.5 && r > std::abs(g.fontHeight) + 24) {
            EXPECT_EQ(grey, 128) << c << " r " << r;
        }
    }
    EXPECT_GT(ringPixels, 0) << c;
}

// The crosshair's 4-pixel lines run over the whole width and height.
TEST_P(PainterSizes, CrosshairAcrossTheWholeFrame)
{
    const SizeCase c = GetParam();
    const Measures g = Measure(c.width, c.height);
    DibSurface surface(c.width, c.height);
    ASSERT_TRUE(surface);
    Paint(surface, 8, 200);
    for (int x = 0; x < c.width; ++x)
        for (int y : {g.cy - 2, g.cy - 1, g.cy, g.cy + 1}) ASSERT_EQ(surface.grey(x, y), 96) << c << " x " << x << " y " << y;
    for (int y = 0; y < c.height; ++y)
        for (int x : {g.cx - 2, g.cx - 1, g.cx, g.cx + 1}) ASSERT_EQ(surface.grey(x, y), 96) << c << " x " << x << " y " << y;
    EXPECT_NE(surface.grey(g.cx - 4, 1), 96) << c;
    EXPECT_NE(surface.grey(1, g.cy - 4), 96) << c;
}

// The number is drawn in grey 224, its minus sign included: "-4" covers more
// and reaches further left than "4".
TEST_P(PainterSizes, DigitsOfPositiveAndNegativeNumbers)
{
    const SizeCase c = GetParam();
    const Measures g = Measure(c.width, c.height);
    // A glyph a few pixels high has no fully covered pixel to find.
    if (g.fontHeight != 0 && std::abs(g.fontHeight) < 8) GTEST_SKIP() << "number too small to measure";
    DibSurface surface(c.width, c.height);
    ASSERT_TRUE(surface);
    auto numberPixels = [&](int32_t number, int* leftmost) {
        Paint(surface, number, 360);
        int count = 0;
        *leftmost = c.width;
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x)
                if (surface.grey(x, y) == 224) {
                    ++count;
                    *leftmost = std::min(*leftmost, x);
                }
        return count;
    };
    int leftPositive = 0, leftNegative = 0;
    const int positive = numberPixels(4, &leftPositive);
    const int negative = numberPixels(-4, &leftNegative);
    EXPECT_GT(positive, 0) << c;
    EXPECT_GT(negative, positive) << c;
    EXPECT_LT(leftNegative, leftPositive) << c;
}

INSTANTIATE_TEST_SUITE_P(Sizes, PainterSizes,
                         ::testing::Values(SizeCase{256, 256}, SizeCase{1024, 1024}, SizeCase{1024, 256},
                                           SizeCase{100, 100}, SizeCase{256, 40}, SizeCase{160, 36}),
                         [](const ::testing::TestParamInfo<SizeCase>& info) {
                             return std::to_string(info.param.width) + "x" + std::to_string(info.param.height);
                         });

}  // namespace
