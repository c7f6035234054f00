// Skinned push buttons: the settings dialog's buttons keep the standard button
// class for clicks, keys and notifications, and only their painting is
// replaced by one of three looks. Colours are system colours fetched at every
// paint, so a change of the desktop scheme shows at the next paint.
#include "ui/button_skin.h"

#include <initializer_list>

#include "resources/resource_ids.h"
#include "win/gdi_owners.h"

namespace {

int32_t g_skinStyle = 0;

// Bit 0 of the button's user data: the left mouse button is down on it.
constexpr LONG_PTR PressedFlag = 1;
// A pressed glass or soft-edge button moves its gradients and text by this
// much right and down; a pressed bevel button moves its text down only.
constexpr int PressedOffset = 2;
// The glass look's light gradient takes this share (in %) of the height.
constexpr int GlassSplitPercent = 55;
// Depths of the soft edge: top and bottom bands, and the sides.
constexpr int SoftEdgeDepthHorizontal = 4;
constexpr int SoftEdgeDepthVertical = 6;
constexpr int TextBufferChars = 260;

// BeginPaint and EndPaint as a pair that holds on every path.
class PaintScope {
public:
    explicit PaintScope(HWND window) : window_(window), dc_(BeginPaint(window, &paint_)) {}
    ~PaintScope() { EndPaint(window_, &paint_); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    HDC dc() const { return dc_; }

private:
    HWND window_;
    PAINTSTRUCT paint_;
    HDC dc_;
};

LRESULT PassOn(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // The class procedure is looked up every time rather than remembered.
    auto classProc = reinterpret_cast<WNDPROC>(GetClassLongPtrA(window, GCLP_WNDPROC));
    return CallWindowProcA(classProc, window, message, wParam, lParam);
}

bool IsPressed(const DRAWITEMSTRUCT* request) { return (request->itemState & ODS_SELECTED) != 0; }

RECT Offset(RECT rect, int dx, int dy)
{
    OffsetRect(&rect, dx, dy);
    return rect;
}

void FillWithSystemColour(HDC dc, RECT rect, int colourIndex)
{
    FillRect(dc, &rect, GetSysColorBrush(colourIndex));
}

void SetFacePixels(HDC dc, const POINT* points, int count)
{
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    for (int i = 0; i < count; ++i) SetPixel(dc, points[i].x, points[i].y, face);
}

// The 2-pixel shadow along the top and the left of a pressed glass or
// soft-edge button.
void FillPressedBands(HDC dc, const RECT& r)
{
    FillWithSystemColour(dc, {r.left, r.top, r.right, r.top + 2}, COLOR_BTNSHADOW);
    FillWithSystemColour(dc, {r.left, r.top + 2, r.left + 2, r.bottom}, COLOR_BTNSHADOW);
}

// The caption, centred on one line in the item rectangle less its bottom row,
// moved by (dx, dy). "&" marks a mnemonic as usual.
void DrawButtonText(const DRAWITEMSTRUCT* request, int dx, int dy)
{
    HDC dc = request->hDC;
    RECT rect = request->rcItem;
    rect.bottom -= 1;
    OffsetRect(&rect, dx, dy);

    char text[TextBufferChars] = {};
    GetWindowTextA(request->hwndItem, text, TextBufferChars);
    SetBkMode(dc, TRANSPARENT);

    auto font = reinterpret_cast<HFONT>(SendMessageA(request->hwndItem, WM_GETFONT, 0, 0));
    SelectionScope fontSelection(dc, font);
    const bool disabled = (request->itemState & ODS_DISABLED) != 0;
    SetTextColor(dc, GetSysColor(disabled ? COLOR_BTNSHADOW : COLOR_BTNTEXT));
    DrawTextA(dc, text, -1, &rect, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
}

// COLOR_3DDKSHADOW lifted half-way to white: each channel c becomes
// c * 128 / 255 + 127, so black turns mid-grey and white stays white.
COLORREF LiftedDarkShadow()
{
    const COLORREF dark = GetSysColor(COLOR_3DDKSHADOW);
    auto lift = [](BYTE c) { return static_cast<BYTE>(c * 128 / 255 + 127); };
    return RGB(lift(GetRValue(dark)), lift(GetGValue(dark)), lift(GetBValue(dark)));
}

}  // namespace

int32_t ButtonSkinStyle() { return g_skinStyle; }
void SetButtonSkinStyle(int32_t skinStyle) { g_skinStyle = skinStyle; }

ButtonLook ButtonLookForStyle(int32_t skinStyle)
{
    switch (skinStyle) {
    case 2: return ButtonLook::Bevel;
    case 3: return ButtonLook::Glass;
    default: return ButtonLook::SoftEdge;
    }
}

void ApplyButtonSkin(HWND dialog, int32_t skinStyle)
{
    SetButtonSkinStyle(skinStyle);
    // In this order; a missing button is simply left out.
    for (int id : {IDOK, IDCANCEL, IDC_HELP_BUTTON, IDC_TEST}) SkinButton(dialog, id);
}

int SkinButton(HWND dialog, int controlId)
{
    if (g_skinStyle == 0) return 0;
    HWND button = GetDlgItem(dialog, controlId);
    if (!button) return 0;
    SetWindowLongPtrA(button, GWL_STYLE, GetWindowLongPtrA(button, GWL_STYLE) | BS_OWNERDRAW);
    SetWindowLongPtrA(button, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SkinButtonProc));
    return 1;
}

namespace {

// What SkinButtonProc does with each message (documented in the header).
LRESULT SkinButtonMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: {
        PaintScope paint(window);
        HDC dc = paint.dc();
        DRAWITEMSTRUCT request = {};
        request.CtlType = ODT_BUTTON;
        request.CtlID = static_cast<UINT>(GetDlgCtrlID(window));
        request.itemID = 0;
        request.itemAction = ODA_DRAWENTIRE;
        if (!IsWindowEnabled(window)) request.itemState |= ODS_DISABLED;
        if (GetWindowLongPtrA(window, GWLP_USERDATA) & PressedFlag) request.itemState |= ODS_SELECTED;
        request.hwndItem = window;
        request.hDC = dc;
        GetClientRect(window, &request.rcItem);
        request.itemData = 0;
        {
            auto dialogFont =
                reinterpret_cast<HFONT>(SendMessageA(GetParent(window), WM_GETFONT, 0, 0));
            SelectionScope fontSelection(dc, dialogFont);
            PaintSkinnedButton(&request);
        }
        return 0;
    }
    case WM_LBUTTONDOWN:
        SetWindowLongPtrA(window, GWLP_USERDATA, GetWindowLongPtrA(window, GWLP_USERDATA) | PressedFlag);
        InvalidateRect(window, nullptr, FALSE);
        break;
    case WM_LBUTTONUP:
        SetWindowLongPtrA(window, GWLP_USERDATA, GetWindowLongPtrA(window, GWLP_USERDATA) & ~PressedFlag);
        InvalidateRect(window, nullptr, FALSE);
        break;
    default:
        break;
    }
    return PassOn(window, message, wParam, lParam);
}

}  // namespace

// Catches everything: the system's frames lie between this procedure and the
// plug-in's export, and a C++ exception cannot unwind through them.
LRESULT CALLBACK SkinButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    try {
        return SkinButtonMessage(window, message, wParam, lParam);
    } catch (...) {
        return 0;
    }
}

int PaintSkinnedButton(const DRAWITEMSTRUCT* request)
{
    switch (ButtonLookForStyle(g_skinStyle)) {
    case ButtonLook::Bevel: return PaintBevelButton(request);
    case ButtonLook::Glass: return PaintGlassButton(request);
    case ButtonLook::SoftEdge: break;
    }
    return PaintSoftEdgeButton(request);
}

void FillGradient(HDC dc, const RECT* rect, COLORREF from, COLORREF to, int direction)
{
    int lines = 0;
    if (direction == GradientTopToBottom)
        lines = rect->bottom - rect->top;
    else if (direction == GradientLeftToRight)
        lines = rect->right - rect->left;
    if (lines <= 0) return;

    double red = GetRValue(from), green = GetGValue(from), blue = GetBValue(from);
    const double redStep = (static_cast<double>(GetRValue(to)) - GetRValue(from)) / lines;
    const double greenStep = (static_cast<double>(GetGValue(to)) - GetGValue(from)) / lines;
    const double blueStep = (static_cast<double>(GetBValue(to)) - GetBValue(from)) / lines;

    for (int i = 0; i < lines; ++i) {
        // Truncation toward zero, then the low 8 bits of each channel.
        const COLORREF colour = RGB(static_cast<int>(red) & 0xFF, static_cast<int>(green) & 0xFF,
                                    static_cast<int>(blue) & 0xFF);
        GdiPen pen(CreatePen(PS_SOLID, 1, colour));
        if (pen) {
            SelectionScope penSelection(dc, pen.get());
            if (direction == GradientTopToBottom) {
                MoveToEx(dc, rect->left, rect->top + i, nullptr);
                LineTo(dc, rect->right, rect->top + i);
            } else {
                MoveToEx(dc, rect->left + i, rect->top, nullptr);
                LineTo(dc, rect->left + i, rect->bottom);
            }
        }
        red += redStep;
        green += greenStep;
        blue += blueStep;
    }
}

int PaintGlassButton(const DRAWITEMSTRUCT* request)
{
    HDC dc = request->hDC;
    const RECT& r = request->rcItem;
    const int d = IsPressed(request) ? PressedOffset : 0;

    // The four corner pixels are cut out of the clip region and keep whatever
    // was behind the button.
    GdiRegion clip(CreateRectRgnIndirect(&r));
    if (clip) {
        const POINT corners[] = {
            {r.left, r.top}, {r.right - 1, r.top}, {r.left, r.bottom - 1}, {r.right - 1, r.bottom - 1}};
        for (const POINT& c : corners) {
            GdiRegion corner(CreateRectRgn(c.x, c.y, c.x + 1, c.y + 1));
            if (corner) CombineRgn(clip.get(), clip.get(), corner.get(), RGN_XOR);
        }
        SelectClipRgn(dc, clip.get());
    }

    FillWithSystemColour(dc, r, COLOR_BTNFACE);
    if (d) FillPressedBands(dc, r);

    const int split = (r.bottom - r.top) * GlassSplitPercent / 100;
    const RECT upper = Offset({r.left, r.top, r.right, r.top + split}, d, d);
    FillGradient(dc, &upper, GetSysColor(COLOR_BTNHIGHLIGHT), GetSysColor(COLOR_BTNSHADOW),
                 GradientTopToBottom);
    const RECT lower = Offset({r.left, r.top + split, r.right, r.bottom}, d, d);
    FillGradient(dc, &lower, LiftedDarkShadow(), GetSysColor(COLOR_BTNFACE), GradientTopToBottom);

    {
        GdiPen border(CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNSHADOW)));
        if (border) {
            SelectionScope penSelection(dc, border.get());
            MoveToEx(dc, r.left + 1, r.top, nullptr);
            LineTo(dc, r.right - 1, r.top);
            MoveToEx(dc, r.left + 1, r.bottom - 1, nullptr);
            LineTo(dc, r.right - 1, r.bottom - 1);
            MoveToEx(dc, r.left, r.top + 1, nullptr);
            LineTo(dc, r.left, r.bottom - 1);
            MoveToEx(dc, r.right - 1, r.top + 1, nullptr);
            LineTo(dc, r.right - 1, r.bottom - 1);
        }
    }

    DrawButtonText(request, d, d);
    if (clip) SelectClipRgn(dc, nullptr);
    return 1;
}

int PaintBevelButton(const DRAWITEMSTRUCT* request)
{
    HDC dc = request->hDC;
    const RECT& r = request->rcItem;
    const bool pressed = IsPressed(request);
    // Pressing swaps light and dark: the face and the bevel look sunk.
    const COLORREF highlight = GetSysColor(COLOR_BTNHIGHLIGHT);
    const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
    const COLORREF light = pressed ? shadow : highlight;
    const COLORREF dark = pressed ? highlight : shadow;

    const RECT face = {r.left + 2, r.top + 2, r.right - 2, r.bottom - 2};
    FillGradient(dc, &face, light, dark, GradientTopToBottom);

    {
        GdiPen lightPen(CreatePen(PS_SOLID, 1, light));
        if (lightPen) {
            SelectionScope penSelection(dc, lightPen.get());
            const POINT outer[] = {{r.left, r.bottom - 2}, {r.left, r.top}, {r.right - 1, r.top}};
            const POINT inner[] = {
                {r.left + 1, r.bottom - 3}, {r.left + 1, r.top + 1}, {r.right - 2, r.top + 1}};
            Polyline(dc, outer, 3);
            Polyline(dc, inner, 3);
        }
    }
    {
        GdiPen darkPen(CreatePen(PS_SOLID, 1, dark));
        if (darkPen) {
            SelectionScope penSelection(dc, darkPen.get());
            const POINT outer[] = {
                {r.right - 1, r.top + 1}, {r.right - 1, r.bottom - 1}, {r.left, r.bottom - 1}};
            const POINT inner[] = {
                {r.right - 2, r.top + 2}, {r.right - 2, r.bottom - 2}, {r.left + 1, r.bottom - 2}};
            Polyline(dc, outer, 3);
            Polyline(dc, inner, 3);
        }
    }

    const POINT corners[] = {
        {r.left, r.top}, {r.right - 1, r.top}, {r.left, r.bottom - 1}, {r.right - 1, r.bottom - 1}};
    SetFacePixels(dc, corners, 4);

    DrawButtonText(request, 0, pressed ? PressedOffset : 0);
    return 1;
}

int PaintSoftEdgeButton(const DRAWITEMSTRUCT* request)
{
    HDC dc = request->hDC;
    const RECT& r = request->rcItem;
    const int d = IsPressed(request) ? PressedOffset : 0;

    // Keeps the offset bands of a pressed button inside the item.
    GdiRegion clip(CreateRectRgnIndirect(&r));
    if (clip) SelectClipRgn(dc, clip.get());

    FillWithSystemColour(dc, r, COLOR_BTNFACE);
    if (d) FillPressedBands(dc, r);

    const COLORREF highlight = GetSysColor(COLOR_BTNHIGHLIGHT);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
    constexpr int tb = SoftEdgeDepthHorizontal, side = SoftEdgeDepthVertical;
    const RECT top = Offset({r.left, r.top, r.right, r.top + tb}, d, d);
    const RECT bottom = Offset({r.left, r.bottom - tb, r.right, r.bottom}, d, d);
    const RECT left = Offset({r.left, r.top + 1, r.left + side / 3, r.bottom - tb / 2}, d, d);
    const RECT right =
        Offset({r.right - side / 2, r.top + side / 3, r.right, r.bottom - tb / 2}, d, d);
    FillGradient(dc, &top, highlight, face, GradientTopToBottom);
    FillGradient(dc, &bottom, face, shadow, GradientTopToBottom);
    FillGradient(dc, &left, highlight, face, GradientLeftToRight);
    FillGradient(dc, &right, face, shadow, GradientLeftToRight);

    const POINT facePixels[] = {{r.left, r.top},
                                {r.right - 1, r.top},
                                {r.left, r.bottom - 1},
                                {r.right - 1, r.bottom - 1},
                                {r.right - 1, r.top + 2}};
    SetFacePixels(dc, facePixels, 5);

    DrawButtonText(request, d, d);
    if (clip) SelectClipRgn(dc, nullptr);
    return 1;
}
