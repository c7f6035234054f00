// A real 24-bit DIB section in a memory DC for drawing tests, with pixel
// reads counted from the top-left, and a BMP writer for looking at frames.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "win/dib_canvas.h"
#include "win/dib_stride.h"

class DibSurface {
public:
    // Bottom-up, like the pipeline's surface.
    DibSurface(int width, int height)
        : width_(width), height_(height), stride_(static_cast<int>(DibStride(width, 24))),
          canvas_(Rgb24Header(width, height))
    {
        bits_ = static_cast<uint8_t*>(canvas_.bits());
    }

    explicit operator bool() const { return bits_ != nullptr; }
    HDC dc() const { return canvas_.dc(); }
    RECT rect() const { return {0, 0, width_, height_}; }
    int width() const { return width_; }
    int height() const { return height_; }
    size_t bytes() const { return static_cast<size_t>(stride_) * height_; }
    const uint8_t* bits() const
    {
        GdiFlush();
        return bits_;
    }

    // 0xBBGGRR, or 0xFFFFFFFF outside.
    uint32_t pixel(int x, int y) const
    {
        if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0xFFFFFFFF;
        const uint8_t* p = bits() + static_cast<size_t>(height_ - 1 - y) * stride_ + x * 3;
        return p[2] | (p[1] << 8) | (p[0] << 16);
    }
    // The grey level, or -1 for a colour that is not a grey (or outside).
    int grey(int x, int y) const
    {
        const uint32_t p = pixel(x, y);
        if (p == 0xFFFFFFFF) return -1;
        const int r = p & 0xFF, g = (p >> 8) & 0xFF, b = (p >> 16) & 0xFF;
        return r == g && g == b ? r : -1;
    }

    bool saveBmp(const char* path) const
    {
        BITMAPFILEHEADER file = {};
        const BITMAPINFOHEADER info = Rgb24Header(width_, height_);
        file.bfType = 0x4D42;
        file.bfOffBits = sizeof file + sizeof info;
        file.bfSize = file.bfOffBits + static_cast<DWORD>(bytes());
        FILE* f = std::fopen(path, "wb");
        if (!f) return false;
        bool ok = std::fwrite(&file, sizeof file, 1, f) == 1 && std::fwrite(&info, sizeof info, 1, f) == 1 &&
                  std::fwrite(bits(), bytes(), 1, f) == 1;
        return std::fclose(f) == 0 && ok;
    }

private:
    int width_, height_, stride_;
    DibCanvas canvas_;
    uint8_t* bits_ = nullptr;
};
