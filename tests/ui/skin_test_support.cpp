#include "tests/ui/skin_test_support.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "win/dib_stride.h"

namespace skin_test {

namespace {

const int kColourIndexes[] = {COLOR_BTNFACE, COLOR_BTNSHADOW, COLOR_BTNTEXT, COLOR_BTNHIGHLIGHT,
                              COLOR_3DDKSHADOW};
const COLORREF kTestColours[] = {Face, Shadow, Text, Highlight, DarkShadow};
COLORREF g_savedColours[5];
bool g_saved = false;

// Every test in the program paints with the distinct colours, except when it
// makes pictures of the dialog, which should show the system's own colours.
class TestColoursEnvironment : public testing::Environment {
public:
    void SetUp() override
    {
        if (!std::getenv("SKIN_PICTURE_DIR")) InstallTestColours();
    }
    void TearDown() override { RestoreSystemColours(); }
};
testing::Environment* const g_environment =
    testing::AddGlobalTestEnvironment(new TestColoursEnvironment);

}  // namespace

void InstallTestColours()
{
    if (!g_saved) {
        for (int i = 0; i < 5; ++i) g_savedColours[i] = GetSysColor(kColourIndexes[i]);
        g_saved = true;
    }
    SetSysColors(5, kColourIndexes, kTestColours);
}

void RestoreSystemColours()
{
    if (g_saved) SetSysColors(5, kColourIndexes, g_savedColours);
}

Canvas::Canvas(int width, int height, COLORREF fill)
    : width_(width), height_(height), stride_(static_cast<int>(DibStride(width, 24))),
      canvas_(Rgb24Header(width, -height))  // top-down: row 0 first
{
    bits_ = static_cast<uint8_t*>(canvas_.bits());
    this->fill(fill);
}

void Canvas::fill(COLORREF colour)
{
    GdiFlush();
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x) {
            uint8_t* p = bits_ + y * stride_ + x * 3;
            p[0] = GetBValue(colour);
            p[1] = GetGValue(colour);
            p[2] = GetRValue(colour);
        }
}

COLORREF Canvas::at(int x, int y) const
{
    GdiFlush();
    const uint8_t* p = bits_ + y * stride_ + x * 3;
    return RGB(p[2], p[1], p[0]);
}

void Canvas::copyFromWindow(HWND window, bool wholeWindow)
{
    HDC windowDc = wholeWindow ? GetWindowDC(window) : GetDC(window);
    BitBlt(dc(), 0, 0, width_, height_, windowDc, 0, 0, SRCCOPY);
    ReleaseDC(window, windowDc);
}

void Canvas::copyFrom(const Canvas& source, const RECT& part)
{
    BitBlt(dc(), 0, 0, part.right - part.left, part.bottom - part.top, source.dc(), part.left, part.top,
           SRCCOPY);
}

bool Canvas::writeBmp(const std::string& path) const
{
    GdiFlush();
    const DWORD imageBytes = DWORD(stride_) * height_;
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    file.bfSize = file.bfOffBits + imageBytes;
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = width_;
    info.biHeight = height_;  // bottom-up, the form every reader takes
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biSizeImage = imageBytes;
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return false;
    bool ok = std::fwrite(&file, sizeof file, 1, out) == 1 && std::fwrite(&info, sizeof info, 1, out) == 1;
    for (int y = height_ - 1; ok && y >= 0; --y) ok = std::fwrite(bits_ + y * stride_, stride_, 1, out) == 1;
    return std::fclose(out) == 0 && ok;
}

void PixelModel::set(int x, int y, COLORREF c)
{
    if (x < clip_.left || x >= clip_.right || y < clip_.top || y >= clip_.bottom) return;
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    pixels_[y * width_ + x] = c;
}

void PixelModel::fill(const RECT& r, COLORREF c)
{
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) set(x, y, c);
}

void PixelModel::rows(const RECT& r, const std::function<COLORREF(int)>& colourOfRow)
{
    for (int y = r.top; y < r.bottom; ++y) {
        const COLORREF c = colourOfRow(y - r.top);
        for (int x = r.left; x < r.right; ++x) set(x, y, c);
    }
}

void PixelModel::columns(const RECT& r, const std::function<COLORREF(int)>& colourOfColumn)
{
    for (int x = r.left; x < r.right; ++x) {
        const COLORREF c = colourOfColumn(x - r.left);
        for (int y = r.top; y < r.bottom; ++y) set(x, y, c);
    }
}

void PixelModel::line(int x0, int y0, int x1, int y1, COLORREF c)
{
    const int dx = (x1 > x0) - (x1 < x0), dy = (y1 > y0) - (y1 < y0);
    for (int x = x0, y = y0; x != x1 || y != y1; x += dx, y += dy) set(x, y, c);
}

std::string PixelModel::differences(const Canvas& canvas) const
{
    std::ostringstream out;
    int count = 0;
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x) {
            bool skip = false;
            for (const POINT& p : ignored_) skip = skip || (p.x == x && p.y == y);
            if (skip || canvas.at(x, y) == at(x, y)) continue;
            if (count++ < 8)
                out << "(" << x << ", " << y << ") is " << Describe(canvas.at(x, y)) << ", expected "
                    << Describe(at(x, y)) << "\n";
        }
    if (count > 8) out << "... " << count << " pixels differ\n";
    return out.str();
}

COLORREF GradientLine(COLORREF from, COLORREF to, int n, int i)
{
    double channel[3] = {double(GetRValue(from)), double(GetGValue(from)), double(GetBValue(from))};
    const double step[3] = {(double(GetRValue(to)) - GetRValue(from)) / n,
                            (double(GetGValue(to)) - GetGValue(from)) / n,
                            (double(GetBValue(to)) - GetBValue(from)) / n};
    for (int k = 0; k < i; ++k)
        for (int c = 0; c < 3; ++c) channel[c] += step[c];
    return RGB(int(channel[0]) & 0xFF, int(channel[1]) & 0xFF, int(channel[2]) & 0xFF);
}

std::string Describe(COLORREF c)
{
    char text[32];
    std::snprintf(text, sizeof text, "(%d, %d, %d)", GetRValue(c), GetGValue(c), GetBValue(c));
    return text;
}

}  // namespace skin_test
