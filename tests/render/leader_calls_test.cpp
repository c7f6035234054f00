// The painter's exact GDI calls, read back from a recording metafile, plus
// RotatePoint, the counter's stepping and the painter's handle discipline.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "render/leader_painter.h"
#include "tests/render/dib_surface.h"
#include "tests/support/resource_watch.h"

namespace {

// The records of one frame painted into an enhanced metafile.
std::vector<std::vector<uint8_t>> RecordFrame(RECT rect, int32_t number, int32_t angle)
{
    std::vector<std::vector<uint8_t>> records;
    HDC dc = CreateEnhMetaFileA(nullptr, nullptr, nullptr, nullptr);
    if (!dc) return records;
    PaintLeaderFrame(dc, &rect, &number, &angle, LeaderSweepStep, 9);
    HENHMETAFILE emf = CloseEnhMetaFile(dc);
    const UINT size = GetEnhMetaFileBits(emf, 0, nullptr);
    std::vector<uint8_t> bits(size);
    GetEnhMetaFileBits(emf, size, bits.data());
    DeleteEnhMetaFile(emf);
    for (size_t at = 0; at + sizeof(EMR) <= bits.size();) {
        const auto* record = reinterpret_cast<const EMR*>(&bits[at]);
        if (record->nSize < sizeof(EMR) || at + record->nSize > bits.size()) break;
        records.emplace_back(&bits[at], &bits[at] + record->nSize);
        at += record->nSize;
    }
    return records;
}

template <typename Record>
std::vector<Record> Find(const std::vector<std::vector<uint8_t>>& records, DWORD type)
{
    std::vector<Record> found;
    for (const auto& r : records)
        if (reinterpret_cast<const EMR*>(r.data())->iType == type && r.size() >= sizeof(Record))
            found.push_back(*reinterpret_cast<const Record*>(r.data()));
    return found;
}

// Index of the first record of a type, or -1.
int FirstOf(const std::vector<std::vector<uint8_t>>& records, DWORD type)
{
    for (size_t i = 0; i < records.size(); ++i)
        if (reinterpret_cast<const EMR*>(records[i].data())->iType == type) return static_cast<int>(i);
    return -1;
}

struct CallCase {
    RECT rect;
    int32_t angle;
    RECTL pieBox;
    POINTL firstRadial, endPoint;
    LONG fontHeight;
    RECTL innerRing, outerRing;
};

class PainterCalls : public ::testing::TestWithParam<CallCase> {};

TEST_P(PainterCalls, PieFontPensAndEllipsesAsTheRulesGiveThem)
{
    const CallCase c = GetParam();
    const auto records = RecordFrame(c.rect, 3, c.angle);
    ASSERT_FALSE(records.empty());

    const auto pies = Find<EMRPIE>(records, EMR_PIE);
    ASSERT_EQ(pies.size(), 1u);
    EXPECT_EQ(pies[0].rclBox.left, c.pieBox.left);
    EXPECT_EQ(pies[0].rclBox.top, c.pieBox.top);
    // A metafile keeps boxes inclusive: right and bottom one less than passed.
    EXPECT_EQ(pies[0].rclBox.right, c.pieBox.right - 1);
    EXPECT_EQ(pies[0].rclBox.bottom, c.pieBox.bottom - 1);
    EXPECT_EQ(pies[0].ptlStart.x, c.firstRadial.x);
    EXPECT_EQ(pies[0].ptlStart.y, c.firstRadial.y);
    EXPECT_EQ(pies[0].ptlEnd.x, c.endPoint.x);
    EXPECT_EQ(pies[0].ptlEnd.y, c.endPoint.y);

    const auto fonts = Find<EMREXTCREATEFONTINDIRECTW>(records, EMR_EXTCREATEFONTINDIRECTW);
    ASSERT_EQ(fonts.size(), 1u);
    const LOGFONTW& font = fonts[0].elfw.elfLogFont;
    EXPECT_EQ(font.lfHeight, c.fontHeight);
    EXPECT_EQ(font.lfWidth, 0);
    EXPECT_EQ(font.lfWeight, 700);
    EXPECT_EQ(font.lfItalic, 0);
    EXPECT_EQ(font.lfCharSet, ANSI_CHARSET);
    EXPECT_EQ(std::wstring(font.lfFaceName), L"ARIAL");

    const auto pens = Find<EMRCREATEPEN>(records, EMR_CREATEPEN);
    ASSERT_EQ(pens.size(), 2u);
    EXPECT_EQ(pens[0].lopn.lopnStyle, static_cast<UINT>(PS_SOLID));
    EXPECT_EQ(pens[0].lopn.lopnWidth.x, 8);
    EXPECT_EQ(pens[0].lopn.lopnColor, RGB(240, 240, 240));
    EXPECT_EQ(pens[1].lopn.lopnStyle, static_cast<UINT>(PS_SOLID));
    EXPECT_EQ(pens[1].lopn.lopnWidth.x, 4);
    EXPECT_EQ(pens[1].lopn.lopnColor, RGB(96, 96, 96));

    const auto brushes = Find<EMRCREATEBRUSHINDIRECT>(records, EMR_CREATEBRUSHINDIRECT);
    ASSERT_GE(brushes.size(), 1u);
    EXPECT_EQ(brushes.back().lb.lbColor, RGB(128, 128, 128));  // the sector's

    const auto ellipses = Find<EMRELLIPSE>(records, EMR_ELLIPSE);
    ASSERT_EQ(ellipses.size(), 2u);
    const RECTL expected[2] = {c.innerRing, c.outerRing};
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(ellipses[i].rclBox.left, expected[i].left) << "ring " << i;
        EXPECT_EQ(ellipses[i].rclBox.top, expected[i].top) << "ring " << i;
        EXPECT_EQ(ellipses[i].rclBox.right, expected[i].right - 1) << "ring " << i;
        EXPECT_EQ(ellipses[i].rclBox.bottom, expected[i].bottom - 1) << "ring " << i;
    }

    // Crosshair: across the rectangle through the centre.
    const auto moves = Find<EMRMOVETOEX>(records, EMR_MOVETOEX);
    const auto lines = Find<EMRLINETO>(records, EMR_LINETO);
    ASSERT_EQ(moves.size(), 2u);
    ASSERT_EQ(lines.size(), 2u);
    const LONG cx = c.rect.left + (c.rect.right - c.rect.left) / 2;
    const LONG cy = c.rect.top + (c.rect.bottom - c.rect.top) / 2;
    EXPECT_EQ(moves[0].ptl.x, c.rect.left);
    EXPECT_EQ(moves[0].ptl.y, cy);
    EXPECT_EQ(lines[0].ptl.x, c.rect.right);
    EXPECT_EQ(lines[0].ptl.y, cy);
    EXPECT_EQ(moves[1].ptl.x, cx);
    EXPECT_EQ(moves[1].ptl.y, c.rect.top);
    EXPECT_EQ(lines[1].ptl.x, cx);
    EXPECT_EQ(lines[1].ptl.y, c.rect.bottom);

    // Layers from the bottom up: sector, number, rings, crosshair.
    const int pie = FirstOf(records, EMR_PIE);
    const int text = FirstOf(records, EMR_EXTTEXTOUTW) >= 0 ? FirstOf(records, EMR_EXTTEXTOUTW)
                                                           : FirstOf(records, EMR_EXTTEXTOUTA);
    const int ring = FirstOf(records, EMR_ELLIPSE);
    const int cross = FirstOf(records, EMR_LINETO);
    ASSERT_GE(text, 0);
    EXPECT_LT(pie, text);
    EXPECT_LT(text, ring);
    EXPECT_LT(ring, cross);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, PainterCalls,
    ::testing::Values(
        // 256 x 256 at 354: E = (154, -126); m = 240, font 144, rings 84 and 100.
        CallCase{{0, 0, 256, 256}, 354, {-128, -128, 384, 384}, {128, 0}, {154, -126}, 144,
                 {44, 44, 212, 212}, {28, 28, 228, 228}},
        // 256 x 256 at 6: E = (102, -126).
        CallCase{{0, 0, 256, 256}, 6, {-128, -128, 384, 384}, {128, 0}, {102, -126}, 144,
                 {44, 44, 212, 212}, {28, 28, 228, 228}},
        // 1024 x 1024 at 270: E = (cx + e, cy); m = 1008, font 912, rings 340 and 356.
        CallCase{{0, 0, 1024, 1024}, 270, {-512, -512, 1536, 1536}, {512, 0}, {1536, 512}, 912,
                 {172, 172, 852, 852}, {156, 156, 868, 868}},
        // 1024 x 256 at 180: e = 1024, m = 240, centre (512, 128), E = (cx, cy + e).
        CallCase{{0, 0, 1024, 256}, 180, {-512, -896, 1536, 1152}, {512, 0}, {512, 1152}, 144,
                 {428, 44, 596, 212}, {412, 28, 612, 228}},
        // 100 x 100: m = 84, font 60, rings 32 and 48; the first radial stays at y = 0
        // even for an offset rectangle.
        CallCase{{10, 20, 110, 120}, 360, {-40, -30, 160, 170}, {60, 0}, {60, -30}, 60,
                 {28, 38, 92, 102}, {12, 22, 108, 118}},
        // Smaller side 40: font height 0, passed on unchanged; 36: -4.
        CallCase{{0, 0, 40, 40}, 360, {-20, -20, 60, 60}, {20, 0}, {20, -20}, 0,
                 {8, 8, 32, 32}, {-8, -8, 48, 48}},
        CallCase{{0, 0, 36, 36}, 360, {-18, -18, 54, 54}, {18, 0}, {18, -18}, -4,
                 {8, 8, 28, 28}, {-8, -8, 44, 44}}));

TEST(RotatePoint, TruncatesTowardZero)
{
    struct {
        int32_t degrees;
        POINT expected;
    } const cases[] = {{45, {70, -70}}, {135, {70, 70}}, {-45, {-70, -70}}, {0, {0, -100}},
                       {90, {100, 0}},  {180, {0, 100}}, {360, {0, -100}}};
    for (const auto& c : cases) {
        POINT p = {0, -100};
        RotatePoint(&p, POINT{0, 0}, c.degrees);
        EXPECT_EQ(p.x, c.expected.x) << c.degrees << " degrees";
        EXPECT_EQ(p.y, c.expected.y) << c.degrees << " degrees";
    }
    POINT p = {128, 128 - 256};
    RotatePoint(&p, POINT{128, 128}, 6);
    EXPECT_EQ(p.x, 154);
    EXPECT_EQ(p.y, -126);
}

// Stepping through a 1 x 1 rectangle keeps the countdown tests quick; the
// painter paints and steps the same way at any size.
int Step(HDC dc, int32_t* number, int32_t* angle, int32_t step, int32_t reset)
{
    RECT rect = {0, 0, 1, 1};
    return PaintLeaderFrame(dc, &rect, number, angle, step, reset);
}

TEST(LeaderCounter, StepsAsTheExamplesSay)
{
    DibSurface surface(1, 1);
    struct {
        int32_t number, angle, step, reset;
        int32_t nextNumber, nextAngle, result;
    } const cases[] = {
        {3, 360, 6, 9, 3, 354, 1}, {5, 6, 6, 9, 4, 360, 1},   {0, 6, 6, 7, 7, 360, 0},
        {1, 6, 6, 9, 0, 360, 1},   {-2, 6, 6, 5, 5, 360, 0},  {4, 3, 7, 9, 3, 360, 1},
        {4, 10, 7, 9, 4, 3, 1},    {0, 7, 7, 2, 2, 360, 0},
    };
    for (const auto& c : cases) {
        int32_t number = c.number, angle = c.angle;
        EXPECT_EQ(Step(surface.dc(), &number, &angle, c.step, c.reset), c.result)
            << "(" << c.number << ", " << c.angle << ") step " << c.step;
        EXPECT_EQ(number, c.nextNumber) << "(" << c.number << ", " << c.angle << ")";
        EXPECT_EQ(angle, c.nextAngle) << "(" << c.number << ", " << c.angle << ")";
    }
}

TEST(LeaderCounter, WholeCountdownsGiveSixtyFramesPerNumber)
{
    DibSurface surface(1, 1);
    for (int32_t start : {0, 1, 9}) {
        int32_t number = start, angle = 360;
        int frames = 0;
        int result = 1;
        while (result == 1 && frames < 10000) {
            EXPECT_EQ(angle, 360 - (frames % 60) * 6) << "frame " << frames;
            EXPECT_EQ(number, start - frames / 60) << "frame " << frames;
            result = Step(surface.dc(), &number, &angle, LeaderSweepStep, start);
            ++frames;
        }
        EXPECT_EQ(frames, (start + 1) * 60) << "from " << start;
        EXPECT_EQ(number, start);
        EXPECT_EQ(angle, 360);
    }
}

TEST(LeaderCounter, StepSevenGivesFiftyTwoFramesPerNumber)
{
    DibSurface surface(1, 1);
    int32_t number = 2, angle = 360;
    std::vector<int> framesPerNumber(3, 0);
    int lastAngle = 0;
    for (int guard = 0; guard < 1000; ++guard) {
        ++framesPerNumber[number];
        lastAngle = angle;
        if (Step(surface.dc(), &number, &angle, 7, 2) == 0) break;
    }
    EXPECT_EQ(framesPerNumber, (std::vector<int>{52, 52, 52}));
    EXPECT_EQ(lastAngle, 3);
}

// Selected objects of a DC, to compare before and after painting.
struct Selection {
    HGDIOBJ pen, brush, font;
    explicit Selection(HDC dc)
        : pen(GetCurrentObject(dc, OBJ_PEN)), brush(GetCurrentObject(dc, OBJ_BRUSH)), font(GetCurrentObject(dc, OBJ_FONT))
    {
    }
};

// Live GDI objects are counted through the test program's own imports, where
// the statically linked painter makes its calls (GetGuiResources does not
// count under Wine). Thousands of frames leave none behind, and the pen,
// brush and font chosen before painting are selected again afterwards, with
// creation working or failing.
TEST(LeaderPainterHandles, NoObjectLeftAndEntrySelectionBack)
{
    DibSurface surface(64, 64);
    ASSERT_TRUE(surface);
    HPEN pen = CreatePen(PS_DOT, 1, RGB(1, 2, 3));
    HBRUSH brush = CreateSolidBrush(RGB(4, 5, 6));
    HFONT font = CreateFontA(10, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, "Courier New");
    HGDIOBJ oldPen = SelectObject(surface.dc(), pen);
    HGDIOBJ oldBrush = SelectObject(surface.dc(), brush);
    HGDIOBJ oldFont = SelectObject(surface.dc(), font);
    const Selection before(surface.dc());
    ASSERT_EQ(before.pen, pen);

    for (bool failing : {false, true}) {
        GdiObjectWatch watch(GetModuleHandleA(nullptr));
        watch.failCreation(failing);
        int32_t number = 9, angle = 360;
        int frames = 0, lastResult = 1;
        RECT rect = surface.rect();
        for (; frames < 3000; ++frames) {
            lastResult = PaintLeaderFrame(surface.dc(), &rect, &number, &angle, LeaderSweepStep, 9);
            const Selection after(surface.dc());
            ASSERT_EQ(after.pen, before.pen) << "frame " << frames << (failing ? " failing" : "");
            ASSERT_EQ(after.brush, before.brush) << "frame " << frames;
            ASSERT_EQ(after.font, before.font) << "frame " << frames;
            if (lastResult == 0) break;
        }
        // The counter stepped on every frame, failures or not.
        EXPECT_EQ(frames + 1, 600) << (failing ? "failing" : "working");
        EXPECT_EQ(lastResult, 0);
        EXPECT_EQ(watch.liveObjects(), 0u) << (failing ? "failing" : "working");
        // Two brushes, a font and two pens per frame were asked for.
        EXPECT_EQ(watch.created(), failing ? 0 : 600 * 5);
    }

    SelectObject(surface.dc(), oldPen);
    SelectObject(surface.dc(), oldBrush);
    SelectObject(surface.dc(), oldFont);
    DeleteObject(pen);
    DeleteObject(brush);
    DeleteObject(font);
}

TEST(LeaderPainterHandles, LeavesTextColourAndModeAsSet)
{
    DibSurface surface(64, 64);
    SetTextColor(surface.dc(), RGB(1, 2, 3));
    SetBkMode(surface.dc(), OPAQUE);
    int32_t number = 1, angle = 360;
    RECT rect = surface.rect();
    PaintLeaderFrame(surface.dc(), &rect, &number, &angle, LeaderSweepStep, 9);
    EXPECT_EQ(GetTextColor(surface.dc()), RGB(224, 224, 224));
    EXPECT_EQ(GetBkMode(surface.dc()), TRANSPARENT);
}

}  // namespace
