// Small owners for GDI objects: a created object is deleted when its owner
// goes, and a selection puts the previous object back first, so an object is
// never deleted while still selected, on any path.
#pragma once

#include <windows.h>

template <typename Handle>
class GdiObject {
public:
    GdiObject() = default;
    explicit GdiObject(Handle handle) : handle_(handle) {}
    ~GdiObject()
    {
        if (handle_) DeleteObject(handle_);
    }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    Handle handle_ = nullptr;
};

using GdiBrush = GdiObject<HBRUSH>;
using GdiPen = GdiObject<HPEN>;
using GdiFont = GdiObject<HFONT>;
using GdiRegion = GdiObject<HRGN>;
using GdiBitmap = GdiObject<HBITMAP>;

// Selects an object for the length of a scope. A null object is not selected,
// so a failed creation leaves the device context as it was.
class SelectionScope {
public:
    SelectionScope(HDC dc, HGDIOBJ object)
        : dc_(dc), previous_(object ? SelectObject(dc, object) : nullptr)
    {
    }
    ~SelectionScope()
    {
        if (previous_) SelectObject(dc_, previous_);
    }
    SelectionScope(const SelectionScope&) = delete;
    SelectionScope& operator=(const SelectionScope&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};
