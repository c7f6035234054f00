// The offscreen 24-bit surface: packed DIB block, DIB section over the same
// header, memory DC. Finishing copies the section's pixels into the block
// (same header, so same row layout) and releases everything in reverse order.
#include "render/render_target.h"

#include <cstring>

#include "image/packed_dib.h"

namespace {

int MakeRenderTarget(int32_t width, int32_t height, RenderTarget* target, bool isotropic)
{
    std::memset(target, 0, sizeof *target);
    target->screenDc = GetDC(nullptr);
    // Not tested here: a missing memory DC makes the selection below fail.
    target->memoryDc = CreateCompatibleDC(target->screenDc);

    target->block = CreatePackedDib(width, height, nullptr, 24);
    if (target->block) target->header = static_cast<BITMAPINFOHEADER*>(GlobalLock(target->block));
    if (target->header) {
        target->section = CreateDIBSection(target->memoryDc,
                                           reinterpret_cast<const BITMAPINFO*>(target->header),
                                           DIB_RGB_COLORS, &target->pixels, nullptr, 0);
    }
    if (target->section) {
        GdiFlush();
        if (isotropic) SetMapMode(target->memoryDc, MM_ISOTROPIC);
        target->previousBitmap = SelectObject(target->memoryDc, target->section);
    }
    if (!target->previousBitmap) {
        FinishRenderTarget(target, 0);
        return 0;
    }
    const LONG w = target->header->biWidth;
    const LONG h = target->header->biHeight;
    if (isotropic) {
        SetWindowExtEx(target->memoryDc, w, h, nullptr);
        SetViewportExtEx(target->memoryDc, w, h, nullptr);
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

int FinishRenderTarget(RenderTarget* target, uint32_t flags)
{
    GdiFlush();
    if (target->pixels && target->header) {
        const BITMAPINFOHEADER* h = target->header;
        const size_t bytes = static_cast<size_t>(h->biHeight) * DibStride(h->biWidth, h->biBitCount);
        std::memcpy(DibPixelBits(target->header), target->pixels, bytes);
    }
    // The pixels belong to the section and go with it.
    target->pixels = nullptr;
    if (target->previousBitmap) {
        SelectObject(target->memoryDc, target->previousBitmap);
        target->previousBitmap = nullptr;
    }
    if (target->section) {
        DeleteObject(target->section);
        target->section = nullptr;
    }
    if (target->memoryDc) {
        DeleteDC(target->memoryDc);
        target->memoryDc = nullptr;
    }
    if (target->screenDc) {
        ReleaseDC(nullptr, target->screenDc);
        target->screenDc = nullptr;
    }
    if (target->block && target->header) GlobalUnlock(target->block);
    target->header = nullptr;
    if (target->block && !(flags & KeepRenderTargetBlock)) {
        GlobalFree(target->block);
        target->block = nullptr;
    }
    return 1;
}
