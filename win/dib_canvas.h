// A DIB section with its pixel memory, and the usual surface to draw on and
// read back: a DIB section selected into a memory DC of its own. Every
// "section in a memory DC" in the tree is one of these, so each is released
// in the one safe order: the section deselected, deleted, then the DC.
#pragma once

#include <windows.h>

#include <cstdint>
#include <utility>

#include "win/dib_stride.h"
#include "win/gdi_owners.h"

// A DIB section (DIB_RGB_COLORS) and where its pixels are. With a file
// mapping the pixels lie in it from `offset` on, as the caller laid them out.
class DibSection {
public:
    DibSection() = default;
    DibSection(HDC dc, const BITMAPINFO* info, HANDLE mapping = nullptr, DWORD offset = 0)
    {
        void* bits = nullptr;
        bitmap_.reset(CreateDIBSection(dc, info, DIB_RGB_COLORS, &bits, mapping, offset));
        if (bitmap_) bits_ = bits;
    }
    DibSection(DibSection&& other) noexcept : bitmap_(std::move(other.bitmap_)), bits_(other.bits_)
    {
        other.bits_ = nullptr;
    }
    DibSection& operator=(DibSection&& other) noexcept
    {
        if (this != &other) {
            bitmap_ = std::move(other.bitmap_);
            bits_ = other.bits_;
            other.bits_ = nullptr;
        }
        return *this;
    }

    HBITMAP get() const { return bitmap_.get(); }
    // The pixel memory, valid while the section lives; null when none was made.
    void* bits() const { return bits_; }
    explicit operator bool() const { return bits_ != nullptr; }
    void reset()
    {
        bitmap_.reset();
        bits_ = nullptr;
    }

private:
    GdiBitmap bitmap_;
    void* bits_ = nullptr;
};

// The header of a 24-bit BI_RGB picture: bottom-up for a positive height,
// top-down for a negative one; biSizeImage is the bytes of its rows.
inline BITMAPINFOHEADER Rgb24Header(int32_t width, int32_t height)
{
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    const uint64_t stride = DibStride(width < 0 ? 0 : width, 24);
    const uint64_t rows = static_cast<uint64_t>(height < 0 ? -static_cast<int64_t>(height) : height);
    header.biSizeImage = static_cast<DWORD>(stride * rows);
    return header;
}

// A DIB section selected into a memory DC compatible with `compatibleWith`
// (the screen when null). Made whole or not at all: false unless the DC, the
// section and the selection were all made, and then it holds nothing.
class DibCanvas {
public:
    DibCanvas() = default;
    explicit DibCanvas(const BITMAPINFOHEADER& header, HDC compatibleWith = nullptr)
        : DibCanvas(reinterpret_cast<const BITMAPINFO*>(&header), nullptr, 0, compatibleWith)
    {
    }
    DibCanvas(const BITMAPINFO* info, HANDLE mapping, DWORD offset, HDC compatibleWith = nullptr)
        : dc_(MemoryDc::CompatibleWith(compatibleWith))
    {
        if (dc_) section_ = DibSection(dc_, info, mapping, offset);
        if (section_) selection_ = SelectionScope(dc_, section_.get());
        if (!selection_) reset();
    }
    DibCanvas(DibCanvas&&) = default;
    DibCanvas& operator=(DibCanvas&& other) noexcept
    {
        if (this != &other) {
            reset();
            dc_ = std::move(other.dc_);
            section_ = std::move(other.section_);
            selection_ = std::move(other.selection_);
        }
        return *this;
    }

    explicit operator bool() const { return static_cast<bool>(selection_); }
    HDC dc() const { return dc_.get(); }
    // The section's pixels. Flush GDI (GdiFlush) before reading what it drew.
    void* bits() const { return section_.bits(); }

    // Releases in the safe order: deselect, delete the section, delete the DC.
    void reset()
    {
        selection_.reset();
        section_.reset();
        dc_.reset();
    }

private:
    // Destroyed from the bottom up: the selection first, the DC last.
    MemoryDc dc_;
    DibSection section_;
    SelectionScope selection_;
};
