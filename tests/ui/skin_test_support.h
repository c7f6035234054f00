// Helpers of the button skin tests: a 24-bit canvas to paint into and read
// back, a pixel model to state what a look should paint, and a set of
// distinct system colours that every test in the program runs with.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "win/dib_canvas.h"

namespace skin_test {

// Colours with a different value in every channel, so that a swapped channel
// or a wrong system colour shows. Installed with SetSysColors for the whole
// test program and put back afterwards.
constexpr COLORREF Face = RGB(200, 180, 160);
constexpr COLORREF Shadow = RGB(100, 80, 60);
constexpr COLORREF Highlight = RGB(250, 245, 235);
constexpr COLORREF Text = RGB(10, 20, 30);
constexpr COLORREF DarkShadow = RGB(0, 40, 255);
// DarkShadow with each channel c turned into c * 128 / 255 + 127: 0 becomes
// 127 and 255 stays 255.
constexpr COLORREF LiftedDarkShadow = RGB(127, 147, 255);
// What a canvas holds before painting: no look paints this colour.
constexpr COLORREF Untouched = RGB(255, 0, 255);

void InstallTestColours();
void RestoreSystemColours();

// A top-down 24-bit DIB section selected into its own memory DC.
class Canvas {
public:
    Canvas(int width, int height, COLORREF fill = Untouched);
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    HDC dc() const { return canvas_.dc(); }
    int width() const { return width_; }
    int height() const { return height_; }
    void fill(COLORREF colour);
    COLORREF at(int x, int y) const;
    // Copies a window's pixels as its own paint left them: the client area,
    // or the whole window with its frame and children.
    void copyFromWindow(HWND window, bool wholeWindow = false);
    // Copies a rectangle of another canvas to (0, 0).
    void copyFrom(const Canvas& source, const RECT& part);
    // Writes a 24-bit BMP file; false when the file cannot be written.
    bool writeBmp(const std::string& path) const;

private:
    int width_, height_, stride_;
    DibCanvas canvas_;
    uint8_t* bits_ = nullptr;
};

// What a painter should leave in a canvas, pixel by pixel, built with the
// same clip, fills and one-pixel lines (end point excluded) as GDI uses.
class PixelModel {
public:
    PixelModel(int width, int height, COLORREF fill = Untouched)
        : width_(width), height_(height), pixels_(width * height, fill),
          clip_{0, 0, width, height}
    {
    }
    void clip(const RECT& r) { clip_ = r; }
    void noClip() { clip_ = {0, 0, width_, height_}; }
    void set(int x, int y, COLORREF c);
    void fill(const RECT& r, COLORREF c);
    // Rows of r top to bottom, row i coloured by colourOfRow(i).
    void rows(const RECT& r, const std::function<COLORREF(int)>& colourOfRow);
    void columns(const RECT& r, const std::function<COLORREF(int)>& colourOfColumn);
    // A line from (x0, y0) towards (x1, y1), horizontal or vertical, without
    // its end point.
    void line(int x0, int y0, int x1, int y1, COLORREF c);
    COLORREF at(int x, int y) const { return pixels_[y * width_ + x]; }
    // Pixels whose value does not matter in a comparison.
    void ignore(int x, int y) { ignored_.push_back({x, y}); }

    // Empty when the canvas holds the model, else the first differences.
    std::string differences(const Canvas& canvas) const;

private:
    int width_, height_;
    std::vector<COLORREF> pixels_;
    RECT clip_;
    std::vector<POINT> ignored_;
};

// Line i of n of a gradient from `from` to `to`: every channel runs from its
// from byte in steps of (to - from) / n, truncated.
COLORREF GradientLine(COLORREF from, COLORREF to, int n, int i);

// Text of a colour as "(r, g, b)" for failure messages.
std::string Describe(COLORREF c);

}  // namespace skin_test
