#include "tests/support/resource_watch.h"

namespace {

// The system's own function. The hooks must not call through the watched
// module's import table: when that module is the test program itself (the
// plug-in's code linked in statically), the patched entry would lead straight
// back into the hook.
template <typename F>
F* Real(const char* dll, const char* name)
{
    return reinterpret_cast<F*>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(dll), name)));
}
#define REAL(dll, function) (*[] { static auto* f = Real<decltype(function)>(dll, #function); return f; }())

}  // namespace

GlobalMemoryWatch::GlobalMemoryWatch(HMODULE module) : ImportWatch(module)
{
    patch("kernel32.dll", "GlobalAlloc", &Alloc);
    patch("kernel32.dll", "GlobalFree", &Free);
    patch("kernel32.dll", "GlobalLock", &Lock);
    patch("kernel32.dll", "GlobalUnlock", &Unlock);
}

HGLOBAL WINAPI GlobalMemoryWatch::Alloc(UINT flags, SIZE_T bytes)
{
    GlobalMemoryWatch* w = current_;
    ++w->allocCalls_;
    if (w->failAllocAt_ > 0 &&
        (w->allocCalls_ == w->failAllocAt_ || (w->failAllocsFrom_ && w->allocCalls_ > w->failAllocAt_)))
        return nullptr;
    HGLOBAL block = REAL("kernel32.dll", GlobalAlloc)(flags, bytes);
    if (block) w->live_.insert(block);
    return block;
}

HGLOBAL WINAPI GlobalMemoryWatch::Free(HGLOBAL block)
{
    current_->live_.erase(block);
    return REAL("kernel32.dll", GlobalFree)(block);
}

LPVOID WINAPI GlobalMemoryWatch::Lock(HGLOBAL block)
{
    GlobalMemoryWatch* w = current_;
    ++w->lockCalls_;
    if (w->failLockAt_ > 0 && w->lockCalls_ == w->failLockAt_) return nullptr;
    LPVOID p = REAL("kernel32.dll", GlobalLock)(block);
    if (p) ++w->heldLocks_;
    return p;
}

BOOL WINAPI GlobalMemoryWatch::Unlock(HGLOBAL block)
{
    --current_->heldLocks_;
    return REAL("kernel32.dll", GlobalUnlock)(block);
}

// The hooked GDI and USER functions: each creation is tracked, each deletion untracked.
struct GdiHooks {
    template <typename H>
    static H Made(H handle)
    {
        if (handle) GdiObjectWatch::Track(handle);
        return handle;
    }
    static constexpr unsigned Brushes = GdiObjectWatch::Brushes, Pens = GdiObjectWatch::Pens,
                              Fonts = GdiObjectWatch::Fonts, Others = GdiObjectWatch::Others;
    static HBRUSH WINAPI SolidBrush(COLORREF c) { return GdiObjectWatch::Failing(Brushes) ? nullptr : Made(REAL("gdi32.dll", CreateSolidBrush)(c)); }
    static HPEN WINAPI Pen(int style, int width, COLORREF c) { return GdiObjectWatch::Failing(Pens) ? nullptr : Made(REAL("gdi32.dll", CreatePen)(style, width, c)); }
    static HFONT WINAPI FontA(int h, int w, int e, int o, int wt, DWORD i, DWORD u, DWORD s, DWORD cs,
                              DWORD op, DWORD cp, DWORD q, DWORD pf, LPCSTR face)
    {
        return GdiObjectWatch::Failing(Fonts) ? nullptr : Made(REAL("gdi32.dll", CreateFontA)(h, w, e, o, wt, i, u, s, cs, op, cp, q, pf, face));
    }
    static HFONT WINAPI FontIndirectA(const LOGFONTA* lf) { return GdiObjectWatch::Failing(Fonts) ? nullptr : Made(REAL("gdi32.dll", CreateFontIndirectA)(lf)); }
    static HRGN WINAPI RectRgn(int l, int t, int r, int b) { return GdiObjectWatch::Failing(Others) ? nullptr : Made(REAL("gdi32.dll", CreateRectRgn)(l, t, r, b)); }
    static HRGN WINAPI RectRgnIndirect(const RECT* r) { return GdiObjectWatch::Failing(Others) ? nullptr : Made(REAL("gdi32.dll", CreateRectRgnIndirect)(r)); }
    static HDC WINAPI CompatibleDC(HDC dc) { return GdiObjectWatch::Failing(Others) ? nullptr : Made(REAL("gdi32.dll", CreateCompatibleDC)(dc)); }
    static HBITMAP WINAPI CompatibleBitmap(HDC dc, int w, int h) { return GdiObjectWatch::Failing(Others) ? nullptr : Made(REAL("gdi32.dll", CreateCompatibleBitmap)(dc, w, h)); }
    static HBITMAP WINAPI DIBitmap(HDC dc, const BITMAPINFOHEADER* h, DWORD init, const void* bits, const BITMAPINFO* bmi, UINT usage)
    {
        return GdiObjectWatch::Failing(Others) ? nullptr : Made(REAL("gdi32.dll", CreateDIBitmap)(dc, h, init, bits, bmi, usage));
    }
    static HBITMAP WINAPI DIBSection(HDC dc, const BITMAPINFO* bmi, UINT usage, void** bits, HANDLE section, DWORD offset)
    {
        return GdiObjectWatch::Failing(Others) ? nullptr : Made(REAL("gdi32.dll", CreateDIBSection)(dc, bmi, usage, bits, section, offset));
    }
    static HDC WINAPI GetDCHook(HWND w) { return Made(REAL("user32.dll", GetDC)(w)); }
    static int WINAPI ReleaseDCHook(HWND w, HDC dc)
    {
        GdiObjectWatch::Untrack(dc);
        return REAL("user32.dll", ReleaseDC)(w, dc);
    }
    static BOOL WINAPI DeleteObjectHook(HGDIOBJ o)
    {
        GdiObjectWatch::Untrack(o);
        return REAL("gdi32.dll", DeleteObject)(o);
    }
    static BOOL WINAPI DeleteDCHook(HDC dc)
    {
        GdiObjectWatch::Untrack(dc);
        return REAL("gdi32.dll", DeleteDC)(dc);
    }
};

GdiObjectWatch::GdiObjectWatch(HMODULE module) : ImportWatch(module)
{
    patch("gdi32.dll", "CreateSolidBrush", &GdiHooks::SolidBrush);
    patch("gdi32.dll", "CreatePen", &GdiHooks::Pen);
    patch("gdi32.dll", "CreateFontA", &GdiHooks::FontA);
    patch("gdi32.dll", "CreateFontIndirectA", &GdiHooks::FontIndirectA);
    patch("gdi32.dll", "CreateRectRgn", &GdiHooks::RectRgn);
    patch("gdi32.dll", "CreateRectRgnIndirect", &GdiHooks::RectRgnIndirect);
    patch("gdi32.dll", "CreateCompatibleDC", &GdiHooks::CompatibleDC);
    patch("gdi32.dll", "CreateCompatibleBitmap", &GdiHooks::CompatibleBitmap);
    patch("gdi32.dll", "CreateDIBitmap", &GdiHooks::DIBitmap);
    patch("gdi32.dll", "CreateDIBSection", &GdiHooks::DIBSection);
    patch("gdi32.dll", "DeleteObject", &GdiHooks::DeleteObjectHook);
    patch("gdi32.dll", "DeleteDC", &GdiHooks::DeleteDCHook);
    patch("user32.dll", "GetDC", &GdiHooks::GetDCHook);
    patch("user32.dll", "ReleaseDC", &GdiHooks::ReleaseDCHook);
}

void GdiObjectWatch::Track(HGDIOBJ object)
{
    if (current_) {
        current_->live_.insert(object);
        ++current_->created_;
    }
}

void GdiObjectWatch::Untrack(HGDIOBJ object)
{
    if (current_) current_->live_.erase(object);
}

bool GdiObjectWatch::Failing(unsigned kind)
{
    GdiObjectWatch* w = current_;
    if (!w || (w->failing_ & kind) == 0) return false;
    if (w->madeBeforeFailing_ > 0) {
        --w->madeBeforeFailing_;
        return false;
    }
    ++w->failed_;
    return true;
}

FileMappingWatch::FileMappingWatch(HMODULE module) : ImportWatch(module)
{
    patch("kernel32.dll", "CreateFileMappingW", &CreateMapping);
    patch("kernel32.dll", "MapViewOfFile", &MapView);
    patch("kernel32.dll", "UnmapViewOfFile", &UnmapView);
    patch("kernel32.dll", "CloseHandle", &Close);
}

HANDLE WINAPI FileMappingWatch::CreateMapping(HANDLE file, SECURITY_ATTRIBUTES* security, DWORD protect,
                                              DWORD high, DWORD low, LPCWSTR name)
{
    FileMappingWatch* w = current_;
    if (w->failMappingAt_ > 0 && ++w->mappingCalls_ == w->failMappingAt_) return nullptr;
    HANDLE mapping = REAL("kernel32.dll", CreateFileMappingW)(file, security, protect, high, low, name);
    if (mapping) w->mappings_.insert(mapping);
    return mapping;
}

LPVOID WINAPI FileMappingWatch::MapView(HANDLE mapping, DWORD access, DWORD high, DWORD low, SIZE_T bytes)
{
    FileMappingWatch* w = current_;
    if (w->failViewAt_ > 0 && ++w->viewCalls_ == w->failViewAt_) return nullptr;
    LPVOID view = REAL("kernel32.dll", MapViewOfFile)(mapping, access, high, low, bytes);
    if (view) w->views_.insert(view);
    return view;
}

BOOL WINAPI FileMappingWatch::UnmapView(LPCVOID view)
{
    current_->views_.erase(view);
    return REAL("kernel32.dll", UnmapViewOfFile)(view);
}

BOOL WINAPI FileMappingWatch::Close(HANDLE handle)
{
    current_->mappings_.erase(handle);
    return REAL("kernel32.dll", CloseHandle)(handle);
}
