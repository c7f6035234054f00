// The three button looks and the gradient fill, painted for real into 24-bit
// DIB sections and compared pixel by pixel with what each look should paint.
#include "ui/button_skin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>

#include "tests/support/resource_watch.h"
#include "tests/ui/skin_test_support.h"

using namespace skin_test;

namespace {

// A hidden button to give the painters a window text and a font.
class TestButton {
public:
    explicit TestButton(const char* caption, HFONT font = nullptr)
    {
        parent_ = CreateWindowA("static", "", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
        button_ = CreateWindowA("button", caption, WS_CHILD | BS_PUSHBUTTON, 0, 0, 75, 23, parent_,
                                reinterpret_cast<HMENU>(1), nullptr, nullptr);
        if (font) SendMessageA(button_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    ~TestButton() { DestroyWindow(parent_); }
    HWND get() const { return button_; }
    void setCaption(const char* caption) { SetWindowTextA(button_, caption); }

private:
    HWND parent_, button_;
};

struct Look {
    const char* name;
    int (*paint)(const DRAWITEMSTRUCT*);
    int32_t style;
};
const Look kGlass = {"glass", &PaintGlassButton, 3};
const Look kBevel = {"bevel", &PaintBevelButton, 2};
const Look kSoftEdge = {"soft edge", &PaintSoftEdgeButton, 1};

DRAWITEMSTRUCT Request(HDC dc, const RECT& item, bool pressed, bool disabled, HWND button)
{
    DRAWITEMSTRUCT r = {};
    r.CtlType = ODT_BUTTON;
    r.CtlID = 1;
    r.itemAction = ODA_DRAWENTIRE;
    r.itemState = (pressed ? ODS_SELECTED : 0) | (disabled ? ODS_DISABLED : 0);
    r.hwndItem = button;
    r.hDC = dc;
    r.rcItem = item;
    return r;
}

// The button sits at (3, 2) in a canvas 8 pixels larger, so that anything
// painted outside its rectangle shows.
struct Placement {
    int width, height;
    RECT item() const { return {3, 2, 3 + width, 2 + height}; }
    int canvasWidth() const { return width + 8; }
    int canvasHeight() const { return height + 8; }
};

PixelModel GlassModel(const Placement& p, bool pressed)
{
    const RECT r = p.item();
    const int L = r.left, T = r.top, R = r.right, B = r.bottom, H = B - T;
    const int s = H * 55 / 100, d = pressed ? 2 : 0;
    PixelModel m(p.canvasWidth(), p.canvasHeight());
    m.clip(r);
    m.fill(r, Face);
    if (pressed) {
        m.fill({L, T, R, T + 2}, Shadow);
        m.fill({L, T + 2, L + 2, B}, Shadow);
    }
    m.rows({L + d, T + d, R + d, T + s + d}, [&](int i) { return GradientLine(Highlight, Shadow, s, i); });
    m.rows({L + d, T + s + d, R + d, B + d},
           [&](int i) { return GradientLine(LiftedDarkShadow, Face, H - s, i); });
    m.line(L + 1, T, R - 1, T, Shadow);
    m.line(L + 1, B - 1, R - 1, B - 1, Shadow);
    m.line(L, T + 1, L, B - 1, Shadow);
    m.line(R - 1, T + 1, R - 1, B - 1, Shadow);
    // The corners are outside the clip region and keep the background.
    m.noClip();
    for (POINT c : {POINT{L, T}, POINT{R - 1, T}, POINT{L, B - 1}, POINT{R - 1, B - 1}}) m.set(c.x, c.y, Untouched);
    return m;
}

PixelModel BevelModel(const Placement& p, bool pressed)
{
    const RECT r = p.item();
    const int L = r.left, T = r.top, R = r.right, B = r.bottom, H = B - T;
    const COLORREF light = pressed ? Shadow : Highlight, dark = pressed ? Highlight : Shadow;
    PixelModel m(p.canvasWidth(), p.canvasHeight());
    m.rows({L + 2, T + 2, R - 2, B - 2}, [&](int i) { return GradientLine(light, dark, H - 4, i); });
    m.line(L, B - 2, L, T, light);
    m.line(L, T, R - 1, T, light);
    m.line(L + 1, B - 3, L + 1, T + 1, light);
    m.line(L + 1, T + 1, R - 2, T + 1, light);
    m.line(R - 1, T + 1, R - 1, B - 1, dark);
    m.line(R - 1, B - 1, L, B - 1, dark);
    m.line(R - 2, T + 2, R - 2, B - 2, dark);
    m.line(R - 2, B - 2, L + 1, B - 2, dark);
    for (POINT c : {POINT{L, T}, POINT{R - 1, T}, POINT{L, B - 1}, POINT{R - 1, B - 1}}) m.set(c.x, c.y, Face);
    return m;
}

PixelModel SoftEdgeModel(const Placement& p, bool pressed)
{
    const RECT r = p.item();
    const int L = r.left, T = r.top, R = r.right, B = r.bottom, d = pressed ? 2 : 0;
    PixelModel m(p.canvasWidth(), p.canvasHeight());
    m.clip(r);
    m.fill(r, Face);
    if (pressed) {
        m.fill({L, T, R, T + 2}, Shadow);
        m.fill({L, T + 2, L + 2, B}, Shadow);
    }
    m.rows({L + d, T + d, R + d, T + 4 + d}, [](int i) { return GradientLine(Highlight, Face, 4, i); });
    m.rows({L + d, B - 4 + d, R + d, B + d}, [](int i) { return GradientLine(Face, Shadow, 4, i); });
    m.columns({L + d, T + 1 + d, L + 2 + d, B - 2 + d}, [](int i) { return GradientLine(Highlight, Face, 2, i); });
    m.columns({R - 3 + d, T + 2 + d, R + d, B - 2 + d}, [](int i) { return GradientLine(Face, Shadow, 3, i); });
    for (POINT c : {POINT{L, T}, POINT{R - 1, T}, POINT{L, B - 1}, POINT{R - 1, B - 1}, POINT{R - 1, T + 2}})
        m.set(c.x, c.y, Face);
    return m;
}

struct ModelCase {
    Look look;
    PixelModel (*model)(const Placement&, bool);
};

class LookPixels : public testing::TestWithParam<ModelCase> {};

// Every pixel in and around the button, with an empty caption, for several
// sizes, up, pressed and disabled (which looks the same without text).
TEST_P(LookPixels, MatchesTheLookEverywhere)
{
    const ModelCase& c = GetParam();
    TestButton button("");
    for (Placement p : {Placement{40, 15}, Placement{30, 10}, Placement{75, 23}, Placement{9, 8}})
        for (bool pressed : {false, true})
            for (bool disabled : {false, true}) {
                SCOPED_TRACE(testing::Message() << c.look.name << " " << p.width << "x" << p.height
                                                << (pressed ? " pressed" : " up")
                                                << (disabled ? " disabled" : ""));
                Canvas canvas(p.canvasWidth(), p.canvasHeight());
                const DRAWITEMSTRUCT request = Request(canvas.dc(), p.item(), pressed, disabled, button.get());
                EXPECT_EQ(c.look.paint(&request), 1);
                EXPECT_EQ(c.model(p, pressed).differences(canvas), "");
            }
}

INSTANTIATE_TEST_SUITE_P(ButtonSkin, LookPixels,
                         testing::Values(ModelCase{kGlass, &GlassModel}, ModelCase{kBevel, &BevelModel},
                                         ModelCase{kSoftEdge, &SoftEdgeModel}),
                         [](const testing::TestParamInfo<ModelCase>& info) {
                             std::string name = info.param.look.name;
                             for (char& ch : name)
                                 if (ch == ' ') ch = '_';
                             return name;
                         });

// The named features of each look, spelled out on a 40 x 15 and a 30 x 10
// button at (3, 2).
TEST(ButtonSkin, GlassSplitsAtFiftyFivePercentWithTheLiftedShadow)
{
    TestButton button("");
    struct {
        int height, splitRow;
    } cases[] = {{15, 8}, {10, 5}};
    for (auto& k : cases) {
        SCOPED_TRACE(testing::Message() << "height " << k.height);
        Placement p{40, k.height};
        Canvas canvas(p.canvasWidth(), p.canvasHeight());
        const DRAWITEMSTRUCT request = Request(canvas.dc(), p.item(), false, false, button.get());
        PaintGlassButton(&request);
        const int T = 2;
        EXPECT_EQ(canvas.at(10, T + 1), GradientLine(Highlight, Shadow, k.splitRow, 1));
        EXPECT_EQ(canvas.at(10, T + k.splitRow - 1), GradientLine(Highlight, Shadow, k.splitRow, k.splitRow - 1));
        EXPECT_EQ(canvas.at(10, T + k.splitRow), LiftedDarkShadow);
        // Untouched corners and the shadow border between them.
        EXPECT_EQ(canvas.at(3, T), Untouched);
        EXPECT_EQ(canvas.at(42, T + k.height - 1), Untouched);
        EXPECT_EQ(canvas.at(4, T), Shadow);
        EXPECT_EQ(canvas.at(3, T + 1), Shadow);
        EXPECT_EQ(canvas.at(41, T + k.height - 1), Shadow);

        // Pressed: 2-pixel shadow bands top and left, gradients moved (2, 2).
        const DRAWITEMSTRUCT pressed = Request(canvas.dc(), p.item(), true, false, button.get());
        canvas.fill(Untouched);
        PaintGlassButton(&pressed);
        EXPECT_EQ(canvas.at(10, T + 1), Shadow);
        EXPECT_EQ(canvas.at(4, 8), Shadow);
        EXPECT_EQ(canvas.at(10, T + 2), Highlight);
        EXPECT_EQ(canvas.at(10, T + 2 + k.splitRow), LiftedDarkShadow);
        EXPECT_EQ(canvas.at(43, T + 5), Untouched);  // the moved gradient stays inside
    }
}

TEST(ButtonSkin, BevelSwapsLightAndDarkWhenPressed)
{
    TestButton button("");
    Placement p{40, 15};
    const int L = 3, T = 2, R = 43, B = 17;
    for (bool pressed : {false, true}) {
        SCOPED_TRACE(pressed ? "pressed" : "up");
        const COLORREF light = pressed ? Shadow : Highlight, dark = pressed ? Highlight : Shadow;
        Canvas canvas(p.canvasWidth(), p.canvasHeight());
        const DRAWITEMSTRUCT request = Request(canvas.dc(), p.item(), pressed, false, button.get());
        PaintBevelButton(&request);
        EXPECT_EQ(canvas.at(L, T + 5), light);
        EXPECT_EQ(canvas.at(L + 1, T + 5), light);
        EXPECT_EQ(canvas.at(L + 9, T + 1), light);
        EXPECT_EQ(canvas.at(R - 1, T + 5), dark);
        EXPECT_EQ(canvas.at(R - 2, T + 5), dark);
        EXPECT_EQ(canvas.at(L + 9, B - 2), dark);
        EXPECT_EQ(canvas.at(L + 9, T + 2), light);  // first gradient row
        for (POINT c : {POINT{L, T}, POINT{R - 1, T}, POINT{L, B - 1}, POINT{R - 1, B - 1}})
            EXPECT_EQ(canvas.at(c.x, c.y), Face) << c.x << ", " << c.y;
        // No background fill: the two pixels the bevel lines leave out keep it.
        EXPECT_EQ(canvas.at(L + 1, B - 2), Untouched);
        EXPECT_EQ(canvas.at(R - 2, T + 1), Untouched);
    }
}

TEST(ButtonSkin, SoftEdgeBandsAndFaceColouredPixels)
{
    TestButton button("");
    Placement p{40, 15};
    const int L = 3, T = 2, R = 43, B = 17;
    Canvas canvas(p.canvasWidth(), p.canvasHeight());
    const DRAWITEMSTRUCT request = Request(canvas.dc(), p.item(), false, false, button.get());
    PaintSoftEdgeButton(&request);
    EXPECT_EQ(canvas.at(L + 9, T), Highlight);                                 // top band
    EXPECT_EQ(canvas.at(L + 9, T + 3), GradientLine(Highlight, Face, 4, 3));
    EXPECT_EQ(canvas.at(L + 9, B - 1), GradientLine(Face, Shadow, 4, 3));     // bottom band
    EXPECT_EQ(canvas.at(L, T + 5), Highlight);                                 // left band
    EXPECT_EQ(canvas.at(L + 1, T + 5), GradientLine(Highlight, Face, 2, 1));
    EXPECT_EQ(canvas.at(L, B - 2), GradientLine(Face, Shadow, 4, 2));         // below the left band
    EXPECT_EQ(canvas.at(R - 1, T + 5), GradientLine(Face, Shadow, 3, 2));     // right band
    EXPECT_EQ(canvas.at(R - 2, T + 2), GradientLine(Face, Shadow, 3, 1));
    for (POINT c : {POINT{L, T}, POINT{R - 1, T}, POINT{L, B - 1}, POINT{R - 1, B - 1}, POINT{R - 1, T + 2}})
        EXPECT_EQ(canvas.at(c.x, c.y), Face) << c.x << ", " << c.y;

    const DRAWITEMSTRUCT pressed = Request(canvas.dc(), p.item(), true, false, button.get());
    canvas.fill(Untouched);
    PaintSoftEdgeButton(&pressed);
    EXPECT_EQ(canvas.at(L + 9, T + 1), Shadow);
    EXPECT_EQ(canvas.at(L + 1, T + 9), Shadow);
    EXPECT_EQ(canvas.at(L + 9, T + 2), Highlight);
    EXPECT_EQ(canvas.at(L + 2, T + 5), Highlight);
    EXPECT_EQ(canvas.at(R, T + 5), Untouched);  // clipped to the button
    EXPECT_EQ(canvas.at(L + 9, B), Untouched);
}

// The caption: the same pixels as the button painted without one and the
// text then drawn on top, centred in the item less its bottom row and moved
// by the look's offset, in the text or (disabled) shadow colour.
struct TextCase {
    Look look;
    bool pressed, disabled;
    const char* caption;
    int dx, dy;
};

class ButtonText : public testing::TestWithParam<TextCase> {};

TEST_P(ButtonText, IsCentredAndMovedByTheLooksOffset)
{
    const TextCase& c = GetParam();
    SCOPED_TRACE(testing::Message() << c.look.name << " \"" << c.caption << "\"" << (c.pressed ? " pressed" : " up")
                                    << (c.disabled ? " disabled" : ""));
    HFONT font = CreateFontA(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Arial");
    // Two heights, so that a rectangle one row too high shows in either parity.
    for (int height : {23, 24}) {
        TestButton button(c.caption, font);
        Placement p{75, height};
        Canvas painted(p.canvasWidth(), p.canvasHeight()), expected(p.canvasWidth(), p.canvasHeight());
        const DRAWITEMSTRUCT request = Request(painted.dc(), p.item(), c.pressed, c.disabled, button.get());
        EXPECT_EQ(c.look.paint(&request), 1);

        button.setCaption("");
        DRAWITEMSTRUCT bare = request;
        bare.hDC = expected.dc();
        c.look.paint(&bare);
        RECT textRect = p.item();
        textRect.bottom -= 1;
        OffsetRect(&textRect, c.dx, c.dy);
        HGDIOBJ previous = SelectObject(expected.dc(), font);
        SetBkMode(expected.dc(), TRANSPARENT);
        SetTextColor(expected.dc(), c.disabled ? Shadow : Text);
        DrawTextA(expected.dc(), c.caption, -1, &textRect, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
        SelectObject(expected.dc(), previous);

        int differing = 0, textPixels = 0;
        Canvas blank(p.canvasWidth(), p.canvasHeight());
        bare.hDC = blank.dc();
        c.look.paint(&bare);
        for (int y = 0; y < p.canvasHeight(); ++y)
            for (int x = 0; x < p.canvasWidth(); ++x) {
                if (painted.at(x, y) != expected.at(x, y)) ++differing;
                if (painted.at(x, y) != blank.at(x, y)) ++textPixels;
            }
        EXPECT_EQ(differing, 0);
        EXPECT_GT(textPixels, 20) << "no caption was drawn";
    }
    DeleteObject(font);
}

std::vector<TextCase> TextCases()
{
    std::vector<TextCase> cases;
    for (const Look& look : {kGlass, kBevel, kSoftEdge})
        for (bool pressed : {false, true})
            for (bool disabled : {false, true})
                for (const char* caption : {"OK", "&Test"}) {
                    const int d = pressed ? 2 : 0;
                    const int dx = look.paint == &PaintBevelButton ? 0 : d;
                    cases.push_back({look, pressed, disabled, caption, dx, d});
                }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(ButtonSkin, ButtonText, testing::ValuesIn(TextCases()),
                         [](const testing::TestParamInfo<TextCase>& info) {
                             const TextCase& c = info.param;
                             std::string name = c.look.name;
                             name += c.pressed ? "_pressed" : "_up";
                             name += c.disabled ? "_disabled" : "";
                             name += c.caption[0] == '&' ? "_mnemonic" : "_plain";
                             for (char& ch : name)
                                 if (ch == ' ') ch = '_';
                             return name;
                         });

// Columns of a button's caption, found against the same button painted
// without one.
struct Extent {
    int left = INT_MAX, right = INT_MIN, pixels = 0;
};

Extent CaptionExtent(const char* caption, HFONT font)
{
    TestButton button(caption, font);
    Placement p{75, 23};
    Canvas with(p.canvasWidth(), p.canvasHeight()), without(p.canvasWidth(), p.canvasHeight());
    DRAWITEMSTRUCT request = Request(with.dc(), p.item(), false, false, button.get());
    PaintSoftEdgeButton(&request);
    button.setCaption("");
    request.hDC = without.dc();
    PaintSoftEdgeButton(&request);
    Extent e;
    for (int y = 0; y < p.canvasHeight(); ++y)
        for (int x = 0; x < p.canvasWidth(); ++x)
            if (with.at(x, y) != without.at(x, y)) {
                e.left = std::min(e.left, x);
                e.right = std::max(e.right, x);
                ++e.pixels;
            }
    return e;
}

TEST(ButtonSkin, AmpersandMarksTheMnemonicAndIsNotShown)
{
    HFONT font = CreateFontA(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Arial");
    const Extent mnemonic = CaptionExtent("&Test", font);
    const Extent plain = CaptionExtent("Test", font);
    const Extent literal = CaptionExtent("&&Test", font);  // a shown ampersand
    DeleteObject(font);
    ASSERT_GT(plain.pixels, 0);
    // As wide as "Test" (the underline sits under the T) but with more pixels.
    EXPECT_EQ(mnemonic.left, plain.left);
    EXPECT_EQ(mnemonic.right, plain.right);
    EXPECT_GT(mnemonic.pixels, plain.pixels);
    EXPECT_GT(literal.right - literal.left, plain.right - plain.left);
}

// 4 rows from red 0 to red 255 paint 0, 63, 127 and 191; lines leave their
// end point, so the rectangle's right (or bottom) edge stays as it was.
TEST(FillGradient, StepsAreTruncatedAndTheEndPointIsNotPainted)
{
    struct Case {
        int direction;
        COLORREF from, to;
        int expected[4];
    } cases[] = {
        {GradientTopToBottom, RGB(0, 0, 0), RGB(255, 0, 0), {0, 63, 127, 191}},
        {GradientLeftToRight, RGB(0, 0, 0), RGB(255, 0, 0), {0, 63, 127, 191}},
        {GradientTopToBottom, RGB(255, 0, 0), RGB(0, 0, 0), {255, 191, 127, 63}},
        {GradientLeftToRight, RGB(255, 0, 0), RGB(0, 0, 0), {255, 191, 127, 63}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "direction " << c.direction << " from " << Describe(c.from));
        Canvas canvas(8, 8);
        // Four lines of three pixels: rows for direction 2, columns for 1.
        const RECT rect = c.direction == GradientTopToBottom ? RECT{2, 1, 5, 5} : RECT{1, 2, 5, 5};
        FillGradient(canvas.dc(), &rect, c.from, c.to, c.direction);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                const bool inside = x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
                const int line = c.direction == GradientTopToBottom ? y - rect.top : x - rect.left;
                const COLORREF want = inside ? RGB(c.expected[line], 0, 0) : Untouched;
                EXPECT_EQ(canvas.at(x, y), want) << "pixel " << x << ", " << y << " is " << Describe(canvas.at(x, y));
            }
    }
}

TEST(FillGradient, ChannelsRunSeparately)
{
    Canvas canvas(4, 8);
    const RECT rect = {0, 0, 4, 7};
    FillGradient(canvas.dc(), &rect, RGB(10, 200, 30), RGB(250, 0, 31), GradientTopToBottom);
    // Steps 240/7, -200/7 and 1/7: the running values truncate separately.
    const COLORREF expected[] = {RGB(10, 200, 30),  RGB(44, 171, 30),  RGB(78, 142, 30),  RGB(112, 114, 30),
                                 RGB(147, 85, 30), RGB(181, 57, 30), RGB(215, 28, 30)};
    for (int y = 0; y < 7; ++y) EXPECT_EQ(Describe(canvas.at(1, y)), Describe(expected[y])) << "row " << y;
    EXPECT_EQ(canvas.at(1, 7), Untouched);
}

TEST(FillGradient, EmptyNegativeOrUnknownPaintsNothing)
{
    struct Case {
        RECT rect;
        int direction;
    } cases[] = {
        {{1, 3, 6, 3}, GradientTopToBottom}, {{1, 5, 6, 2}, GradientTopToBottom},
        {{4, 1, 4, 6}, GradientLeftToRight}, {{6, 1, 2, 6}, GradientLeftToRight},
        {{1, 1, 6, 6}, 0},                   {{1, 1, 6, 6}, 3},
    };
    GdiObjectWatch watch;
    for (const Case& c : cases) {
        Canvas canvas(8, 8);
        const int before = watch.created();
        FillGradient(canvas.dc(), &c.rect, RGB(0, 0, 0), RGB(255, 255, 255), c.direction);
        EXPECT_EQ(watch.created(), before) << "no pen for an empty gradient";
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) ASSERT_EQ(canvas.at(x, y), Untouched) << x << ", " << y;
    }
}

TEST(FillGradient, MakesOnePenPerLineAndDeletesEach)
{
    Canvas canvas(16, 16);
    GdiObjectWatch watch;
    const RECT rect = {0, 0, 12, 9};
    FillGradient(canvas.dc(), &rect, RGB(1, 2, 3), RGB(200, 100, 50), GradientTopToBottom);
    EXPECT_EQ(watch.created(), 9);
    FillGradient(canvas.dc(), &rect, RGB(1, 2, 3), RGB(200, 100, 50), GradientLeftToRight);
    EXPECT_EQ(watch.created(), 9 + 12);
    EXPECT_EQ(watch.liveObjects(), 0u);
}

// Which look a style asks for, and that PaintSkinnedButton paints exactly it.
TEST(ButtonSkin, StyleChoosesTheLook)
{
    struct {
        int32_t style;
        ButtonLook look;
        int (*painter)(const DRAWITEMSTRUCT*);
    } cases[] = {
        {1, ButtonLook::SoftEdge, &PaintSoftEdgeButton},     {2, ButtonLook::Bevel, &PaintBevelButton},
        {3, ButtonLook::Glass, &PaintGlassButton},           {4, ButtonLook::SoftEdge, &PaintSoftEdgeButton},
        {-1, ButtonLook::SoftEdge, &PaintSoftEdgeButton},    {INT32_MIN, ButtonLook::SoftEdge, &PaintSoftEdgeButton},
        {INT32_MAX, ButtonLook::SoftEdge, &PaintSoftEdgeButton},
    };
    TestButton button("OK");
    const int32_t saved = ButtonSkinStyle();
    for (auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "style " << c.style);
        EXPECT_EQ(ButtonLookForStyle(c.style), c.look);
        SetButtonSkinStyle(c.style);
        Placement p{40, 15};
        Canvas viaStyle(p.canvasWidth(), p.canvasHeight()), direct(p.canvasWidth(), p.canvasHeight());
        DRAWITEMSTRUCT request = Request(viaStyle.dc(), p.item(), true, false, button.get());
        EXPECT_EQ(PaintSkinnedButton(&request), 1);
        request.hDC = direct.dc();
        c.painter(&request);
        int differing = 0;
        for (int y = 0; y < p.canvasHeight(); ++y)
            for (int x = 0; x < p.canvasWidth(); ++x) differing += viaStyle.at(x, y) != direct.at(x, y);
        EXPECT_EQ(differing, 0);
    }
    SetButtonSkinStyle(saved);
}

// System colours are looked up at every paint, never kept.
TEST(ButtonSkin, FollowsAChangeOfSystemColours)
{
    TestButton button("");
    Placement p{40, 15};
    const int faceIndex = COLOR_BTNFACE, shadowIndex = COLOR_BTNSHADOW;
    for (const Look& look : {kGlass, kBevel, kSoftEdge}) {
        SCOPED_TRACE(look.name);
        Canvas canvas(p.canvasWidth(), p.canvasHeight());
        const DRAWITEMSTRUCT request = Request(canvas.dc(), p.item(), true, false, button.get());
        look.paint(&request);
        const COLORREF newFace = RGB(30, 60, 90), newShadow = RGB(5, 6, 7);
        SetSysColors(1, &faceIndex, &newFace);
        SetSysColors(1, &shadowIndex, &newShadow);
        look.paint(&request);
        SetSysColors(1, &faceIndex, &Face);
        SetSysColors(1, &shadowIndex, &Shadow);
        if (look.paint == &PaintBevelButton) {
            EXPECT_EQ(canvas.at(3, 2), newFace);
            EXPECT_EQ(canvas.at(3, 6), newShadow);  // pressed: the shadow is the light pen
        } else {
            EXPECT_EQ(canvas.at(10, 3), newShadow);  // pressed band
            if (look.paint == &PaintGlassButton) {
                EXPECT_EQ(canvas.at(20, 11), GradientLine(Highlight, newShadow, 8, 7));
            } else {
                EXPECT_EQ(canvas.at(20, 10), newFace);
            }
        }
    }
}

// Every pen and region a painter makes is deleted before it returns, also
// when the system cannot make them.
TEST(ButtonSkin, PaintersLeaveNoGdiObjectsBehind)
{
    HFONT font = CreateFontA(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Arial");
    {
        TestButton button("&Test", font);
        Placement p{75, 23};
        Canvas canvas(p.canvasWidth(), p.canvasHeight());
        for (bool failing : {false, true}) {
            GdiObjectWatch watch;
            watch.failCreation(failing);
            for (const Look& look : {kGlass, kBevel, kSoftEdge})
                for (bool pressed : {false, true})
                    for (bool disabled : {false, true}) {
                        const DRAWITEMSTRUCT request =
                            Request(canvas.dc(), p.item(), pressed, disabled, button.get());
                        EXPECT_EQ(look.paint(&request), 1);
                    }
            if (!failing) {
                EXPECT_GT(watch.created(), 100);
            }
            EXPECT_EQ(watch.liveObjects(), 0u) << (failing ? "with creation failing" : "");
        }
        // No clip region is left on the device context.
        HRGN probe = CreateRectRgn(0, 0, 0, 0);
        EXPECT_EQ(GetClipRgn(canvas.dc(), probe), 0);
        DeleteObject(probe);
    }
    DeleteObject(font);
}

}  // namespace
