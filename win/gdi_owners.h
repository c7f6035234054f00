// Owners of GDI objects and device contexts: a created object is deleted when
// its owner goes, a memory DC is deleted and a window's DC released, and a
// selection puts the previous object back first, so that nothing is deleted
// while it is still selected, on any path.
#pragma once

#include <windows.h>

#include "win/unique_handle.h"

struct DeleteGdiObject {
    static void release(HGDIOBJ object) { DeleteObject(object); }
};
struct DeleteMemoryDc {
    static void release(HDC dc) { DeleteDC(dc); }
};

// A pen, brush, font, region or bitmap made by this code (never a stock object).
template <typename Handle>
using GdiObject = UniqueHandle<Handle, DeleteGdiObject>;

using GdiBrush = GdiObject<HBRUSH>;
using GdiPen = GdiObject<HPEN>;
using GdiFont = GdiObject<HFONT>;
using GdiRegion = GdiObject<HRGN>;
using GdiBitmap = GdiObject<HBITMAP>;

// A device context from CreateCompatibleDC. It is handed to drawing calls as
// it is, like the HDC it owns.
class MemoryDc : public UniqueHandle<HDC, DeleteMemoryDc> {
public:
    MemoryDc() = default;
    explicit MemoryDc(HDC dc) : UniqueHandle(dc) {}
    // Compatible with `other`, or with the screen when `other` is null.
    static MemoryDc CompatibleWith(HDC other) { return MemoryDc(CreateCompatibleDC(other)); }
    operator HDC() const { return get(); }
};

struct ReleaseWindowDc {
    static void release(HWND window, HDC dc) { ReleaseDC(window, dc); }
};
struct SelectBack {
    static void release(HDC dc, HGDIOBJ previous) { SelectObject(dc, previous); }
};

// A window's device context (GetDC for the client area, GetWindowDC for the
// whole window; GetDC of the null window is the screen's), given back with
// ReleaseDC for the same window.
class WindowDc : public BoundHandle<HWND, HDC, ReleaseWindowDc> {
public:
    WindowDc() = default;
    static WindowDc Client(HWND window) { return WindowDc(window, GetDC(window)); }
    static WindowDc Whole(HWND window) { return WindowDc(window, GetWindowDC(window)); }

private:
    WindowDc(HWND window, HDC dc) : BoundHandle(window, dc) {}
};

// Selects an object for the length of a scope and puts the previous one back
// when it ends (or at reset). A null object is not selected, so a failed
// creation leaves the device context as it was; false when nothing was selected.
class SelectionScope : public BoundHandle<HDC, HGDIOBJ, SelectBack> {
public:
    SelectionScope() = default;
    SelectionScope(HDC dc, HGDIOBJ object) : BoundHandle(dc, object ? SelectObject(dc, object) : nullptr) {}
};
