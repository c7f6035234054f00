// The offscreen 24-bit surface: a DIB section over a packed DIB's header or
// over the kept surface's mapping, in a memory DC. Finishing copies the
// section's pixels into the block (same header, so same row layout) and
// releases everything in reverse order.
#include "render/render_target.h"

#include <cstring>

#include "image/packed_dib.h"
#include "render/kept_surface.h"

namespace {

// Every GDI object, DC and the lock, bottom up: the section is deselected
// before it is deleted, and deleted before its DC.
void ReleaseOwners(RenderTarget* target)
{
    target->pixels = nullptr;
    target->canvas.reset();
    target->screenDc.reset();
    target->blockLock.reset();
    target->header = nullptr;
}

// Drops what a previous use left (a finished target holds nothing but maybe
// the caller's block, which is the caller's and is forgotten, not freed).
void ClearRenderTarget(RenderTarget* target)
{
    ReleaseOwners(target);
    target->block = nullptr;
    SetRectEmpty(&target->rect);
}

// Makes the section described by `header` (on the mapping when given),
// selected into a memory DC compatible with `compatibleWith`; false when
// any of them cannot be made.
bool MakeCanvas(RenderTarget* target, const BITMAPINFOHEADER* header, HANDLE mapping, DWORD offset,
                HDC compatibleWith)
{
    target->canvas = DibCanvas(reinterpret_cast<const BITMAPINFO*>(header), mapping, offset, compatibleWith);
    return static_cast<bool>(target->canvas);
}

int MakeRenderTarget(int32_t width, int32_t height, RenderTarget* target, bool isotropic)
{
    ClearRenderTarget(target);
    target->screenDc = WindowDc::Client(nullptr);
    target->block = CreatePackedDib(width, height, nullptr, 24);
    if (target->block) target->blockLock = LockedGlobal(target->block);
    target->header = static_cast<BITMAPINFOHEADER*>(target->blockLock.get());
    if (!target->header || !MakeCanvas(target, target->header, nullptr, 0, target->screenDc.get())) {
        FinishRenderTarget(target, 0);
        return 0;
    }
    GdiFlush();
    target->pixels = target->canvas.bits();
    const LONG w = target->header->biWidth;
    const LONG h = target->header->biHeight;
    if (isotropic) {
        SetMapMode(target->dc(), MM_ISOTROPIC);
        SetWindowExtEx(target->dc(), w, h, nullptr);
        SetViewportExtEx(target->dc(), w, h, nullptr);
    }
    SetRect(&target->rect, 0, 0, w, h);
    return 1;
}

}  // namespace

int CreateRenderTarget(int32_t width, int32_t height, RenderTarget* target)
{
    return MakeRenderTarget(width, height, target, true);
}

int CreatePixelRenderTarget(int32_t width, int32_t height, RenderTarget* target)
{
    return MakeRenderTarget(width, height, target, false);
}

int CreateRenderTargetOn(const KeptSurface& surface, RenderTarget* target)
{
    ClearRenderTarget(target);
    if (!surface || !MakeCanvas(target, surface.header(), surface.mapping(), KeptSurface::PixelOffset, nullptr)) {
        FinishRenderTarget(target, 0);
        return 0;
    }
    GdiFlush();
    target->header = surface.header();
    target->pixels = surface.pixels();
    SetRect(&target->rect, 0, 0, target->header->biWidth, target->header->biHeight);
    return 1;
}

int FinishRenderTarget(RenderTarget* target, uint32_t flags)
{
    GdiFlush();
    if (target->block && target->pixels && target->header) {
        const BITMAPINFOHEADER* h = target->header;
        const size_t bytes = static_cast<size_t>(h->biHeight) * DibStride(h->biWidth, h->biBitCount);
        std::memcpy(DibPixelBits(target->header), target->pixels, bytes);
    }
    // The pixels belong to the section (or the kept surface) and go with it.
    ReleaseOwners(target);
    if (target->block && !(flags & KeepRenderTargetBlock)) {
        GlobalFree(target->block);
        target->block = nullptr;
    }
    return 1;
}
