// The countdown leader painter: one frame on any device context, from the
// bottom layer up, then one step of the counter. Every object made here is
// deleted before return and the entry pen, brush and font are selected back,
// also when a creation fails (the frame then goes on without that object).
#include "render/leader_painter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "render/leader_layers.h"
#include "win/gdi_owners.h"

namespace {

// Greys of the leader (R = G = B, so COLORREF and RGB read alike).
constexpr COLORREF FirstFrameBackground = RGB(128, 128, 128);  // angle 360: one flat field
constexpr COLORREF Background = RGB(200, 200, 200);           // the light wedge
constexpr COLORREF SweepGrey = RGB(128, 128, 128);            // the dark sector
constexpr COLORREF NumberGrey = RGB(224, 224, 224);
constexpr COLORREF RingGrey = RGB(240, 240, 240);
constexpr COLORREF CrosshairGrey = RGB(96, 96, 96);

constexpr int RingPenWidth = 8;        // surface pixels: 2 in the delivered frame
constexpr int CrosshairPenWidth = 4;   // 1 in the delivered frame
constexpr int RingMargin = 16;         // m = smaller side - 16
constexpr int RingGap = 16;            // between the inner and the outer ring
constexpr int NumberWeight = 700;      // bold
constexpr const char* NumberFace = "ARIAL";

constexpr double RadiansPerDegree = 0.017453292519943295;

struct FrameGeometry {
    int cx, cy;  // centre
    int e;       // larger side: half the sweep square's side
    int m;       // smaller side less the margin: sizes the number and rings
};

FrameGeometry MeasureFrame(const RECT* rect)
{
    const int w = rect->right - rect->left;
    const int h = rect->bottom - rect->top;
    FrameGeometry g;
    g.cx = rect->left + w / 2;
    g.cy = rect->top + h / 2;
    g.e = w > h ? w : h;
    g.m = (w < h ? w : h) - RingMargin;
    return g;
}

// A positive height asks for that cell height; small frames get a relatively
// larger number. Zero or negative heights are passed on as they come.
int NumberFontHeight(int m) { return m > 128 ? m - 96 : m - 24; }

// The objects of a frame, made the one way the painter makes them.
HBRUSH MakeBackgroundBrush(int32_t angle)
{
    return CreateSolidBrush(angle == 360 ? FirstFrameBackground : Background);
}
HBRUSH MakeSweepBrush() { return CreateSolidBrush(SweepGrey); }
HFONT MakeNumberFont(const FrameGeometry& g)
{
    return CreateFontA(NumberFontHeight(g.m), 0, 0, 0, NumberWeight, FALSE, FALSE, FALSE, ANSI_CHARSET, 0, 0, 0, 0,
                       NumberFace);
}
HPEN MakeRingPen() { return CreatePen(PS_SOLID, RingPenWidth, RingGrey); }
HPEN MakeCrosshairPen() { return CreatePen(PS_SOLID, CrosshairPenWidth, CrosshairGrey); }

}  // namespace

void RotatePoint(POINT* point, POINT centre, int32_t degrees)
{
    const double theta = degrees * RadiansPerDegree;
    const double c = std::cos(theta);
    const double s = std::sin(theta);
    const double dx = static_cast<double>(point->x) - centre.x;
    const double dy = static_cast<double>(point->y) - centre.y;
    // Conversion to an integer truncates toward zero.
    point->x = centre.x + static_cast<LONG>(dx * c - dy * s);
    point->y = centre.y + static_cast<LONG>(dx * s + dy * c);
}

bool PaintLeaderBackdrop(HDC dc, const RECT* rect, int32_t angle)
{
    const FrameGeometry g = MeasureFrame(rect);
    bool allMade = true;

    {
        // Filled without selecting the brush.
        GdiBrush brush(MakeBackgroundBrush(angle));
        allMade = allMade && brush;
        FillRect(dc, rect, brush.get());
    }

    {
        // A pie's arc runs counterclockwise from the first radial (12 o'clock)
        // to E, which lies (360 - angle) degrees clockwise of it: the sector
        // covers `angle` degrees and the background shows in the wedge.
        SelectionScope noOutline(dc, GetStockObject(NULL_PEN));
        GdiBrush brush(MakeSweepBrush());
        SelectionScope fill(dc, brush.get());
        allMade = allMade && brush;
        POINT end = {g.cx, g.cy - g.e};
        RotatePoint(&end, POINT{g.cx, g.cy}, 360 - angle);
        Pie(dc, g.cx - g.e, g.cy - g.e, g.cx + g.e, g.cy + g.e, g.cx, 0, end.x, end.y);
    }
    return allMade;
}

bool MarkSweepBetween(const RECT* rect, int32_t from, int32_t to, ChangedPixels* region)
{
    // Pixels as far as this from the wedge's exact edges are marked too.
    constexpr double Margin = 4.0;
    if (to >= from || from - to > 90 || rect->left != 0 || rect->top != 0) return false;
    const FrameGeometry g = MeasureFrame(rect);
    const POINT centre = {g.cx, g.cy};
    // The moving edge's ends, as PaintLeaderBackdrop places them.
    POINT first = {g.cx, g.cy - g.e}, last = first;
    RotatePoint(&first, centre, 360 - from);
    RotatePoint(&last, centre, 360 - to);
    // The wedge turns clockwise (on screen) from `first` to `last`: q is in
    // it when cross(d0, q) >= 0 and cross(q, d1) >= 0, each side moved out by
    // the margin (dividing by the length of its direction).
    const double d0x = first.x - g.cx, d0y = first.y - g.cy, d1x = last.x - g.cx, d1y = last.y - g.cy;
    const double n0 = std::sqrt(d0x * d0x + d0y * d0y), n1 = std::sqrt(d1x * d1x + d1y * d1y);
    if (n0 == 0.0 || n1 == 0.0) return false;
    const int32_t width = rect->right, height = rect->bottom;
    for (int32_t y = 0; y < height; ++y) {
        const double qy = y + 0.5 - g.cy;
        // a x + b >= 0 for both sides, x being the pixel centre's offset qx.
        double low = -1e300, high = 1e300;
        bool empty = false;
        auto side = [&](double a, double b) {
            if (a > 0) low = std::max(low, -b / a);
            else if (a < 0) high = std::min(high, -b / a);
            else if (b < 0) empty = true;
        };
        side(-d0y / n0, d0x * qy / n0 + Margin);  // cross(d0, q) = d0x qy - d0y qx
        side(d1y / n1, -d1x * qy / n1 + Margin);  // cross(q, d1) = qx d1y - qy d1x
        if (empty || low > high) continue;
        // Pixel x's centre is at qx = x + 0.5 - cx.
        const double from = std::max(low + g.cx - 0.5, -1.0), until = std::min(high + g.cx - 0.5, width + 1.0);
        region->mark(y, static_cast<int32_t>(std::floor(from)), static_cast<int32_t>(std::ceil(until)) + 1);
    }
    return true;
}

bool PaintLeaderNumber(HDC dc, const RECT* rect, int32_t number)
{
    const FrameGeometry g = MeasureFrame(rect);
    GdiFont font(MakeNumberFont(g));
    SelectionScope useFont(dc, font.get());
    SetTextColor(dc, NumberGrey);
    SetBkMode(dc, TRANSPARENT);
    char text[16];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(number));
    RECT box = *rect;
    DrawTextA(dc, text, -1, &box, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    return static_cast<bool>(font);
}

bool PaintLeaderOverlay(HDC dc, const RECT* rect)
{
    const FrameGeometry g = MeasureFrame(rect);
    bool allMade = true;

    {
        SelectionScope hollow(dc, GetStockObject(NULL_BRUSH));
        GdiPen pen(MakeRingPen());
        SelectionScope usePen(dc, pen.get());
        allMade = allMade && pen;
        int r = g.m / 3 + 4;
        Ellipse(dc, g.cx - r, g.cy - r, g.cx + r, g.cy + r);
        r += RingGap;
        Ellipse(dc, g.cx - r, g.cy - r, g.cx + r, g.cy + r);
    }

    {
        GdiPen pen(MakeCrosshairPen());
        SelectionScope usePen(dc, pen.get());
        allMade = allMade && pen;
        MoveToEx(dc, rect->left, g.cy, nullptr);
        LineTo(dc, rect->right, g.cy);
        MoveToEx(dc, g.cx, rect->top, nullptr);
        LineTo(dc, g.cx, rect->bottom);
    }
    return allMade;
}

bool LeaderObjectsCanBeMade(const RECT* rect, int32_t angle)
{
    // Made in the painter's order and released at once.
    GdiBrush background(MakeBackgroundBrush(angle));
    GdiBrush sweep(MakeSweepBrush());
    GdiFont font(MakeNumberFont(MeasureFrame(rect)));
    GdiPen ring(MakeRingPen());
    GdiPen crosshair(MakeCrosshairPen());
    return background && sweep && font && ring && crosshair;
}

bool StepLeaderCounter(LeaderCounter& counter, int32_t step, int32_t resetNumber)
{
    // Wrapping arithmetic: out-of-range values step without undefined behaviour.
    counter.angle = static_cast<int32_t>(static_cast<uint32_t>(counter.angle) - static_cast<uint32_t>(step));
    if (counter.angle > 0) return true;
    counter.angle = 360;
    counter.number = static_cast<int32_t>(static_cast<uint32_t>(counter.number) - 1u);
    if (counter.number >= 0) return true;
    counter.number = resetNumber;
    return false;
}

bool PaintLeaderLayers(HDC dc, const RECT* rect, int32_t number, int32_t angle)
{
    const bool backdrop = PaintLeaderBackdrop(dc, rect, angle);
    const bool text = PaintLeaderNumber(dc, rect, number);
    const bool overlay = PaintLeaderOverlay(dc, rect);
    return backdrop && text && overlay;
}

int PaintLeaderFrame(HDC dc, const RECT* rect, int32_t* number, int32_t* angle, int32_t step,
                     int32_t resetNumber)
{
    PaintLeaderLayers(dc, rect, *number, *angle);
    LeaderCounter counter = {*number, *angle};
    const bool more = StepLeaderCounter(counter, step, resetNumber);
    *number = counter.number;
    *angle = counter.angle;
    return more ? 1 : 0;
}
