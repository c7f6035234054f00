// The literal reading of the frame pipeline (see literal_frame.h): every
// step as described, with the per-pixel rescale and grey reduction.
#include "tests/support/literal_frame.h"

#include <cstring>

#include "image/packed_dib.h"
#include "tests/support/rescale_oracle.h"

bool CreateLiteralRenderTarget(int32_t width, int32_t height, LiteralRenderTarget* target)
{
    *target = {};
    target->screenDc = GetDC(nullptr);
    target->memoryDc = CreateCompatibleDC(target->screenDc);
    target->block = CreatePackedDib(width, height, nullptr, 24);
    if (target->block) target->header = static_cast<BITMAPINFOHEADER*>(GlobalLock(target->block));
    if (target->header)
        target->section = CreateDIBSection(target->memoryDc, reinterpret_cast<BITMAPINFO*>(target->header),
                                           DIB_RGB_COLORS, &target->pixels, nullptr, 0);
    if (target->section) {
        GdiFlush();
        SetMapMode(target->memoryDc, MM_ISOTROPIC);
        target->previousBitmap = SelectObject(target->memoryDc, target->section);
    }
    if (!target->previousBitmap) {
        GlobalFree(FinishLiteralRenderTarget(target));
        return false;
    }
    SetWindowExtEx(target->memoryDc, target->header->biWidth, target->header->biHeight, nullptr);
    SetViewportExtEx(target->memoryDc, target->header->biWidth, target->header->biHeight, nullptr);
    SetRect(&target->rect, 0, 0, target->header->biWidth, target->header->biHeight);
    return true;
}

HGLOBAL FinishLiteralRenderTarget(LiteralRenderTarget* target)
{
    GdiFlush();
    if (target->pixels && target->header) {
        const BITMAPINFOHEADER* h = target->header;
        std::memcpy(DibPixelBits(target->header), target->pixels,
                    static_cast<size_t>(h->biHeight) * DibStride(h->biWidth, h->biBitCount));
    }
    if (target->previousBitmap) SelectObject(target->memoryDc, target->previousBitmap);
    if (target->section) DeleteObject(target->section);
    if (target->memoryDc) DeleteDC(target->memoryDc);
    if (target->screenDc) ReleaseDC(nullptr, target->screenDc);
    if (target->block && target->header) GlobalUnlock(target->block);
    HGLOBAL block = target->block;
    *target = {};
    return block;
}

HGLOBAL LiteralLeaderFrame(const RECT& rect, LeaderCounter& counter, int32_t step, int32_t resetNumber, bool grey,
                           int32_t* more)
{
    *more = 1;
    LiteralRenderTarget target;
    const int32_t width = (rect.right - rect.left) << 2, height = (rect.bottom - rect.top) << 2;
    if (!CreateLiteralRenderTarget(width, height, &target)) return nullptr;
    GdiFlush();
    SetMapMode(target.memoryDc, MM_TEXT);
    *more = PaintLeaderFrame(target.memoryDc, &target.rect, &counter.number, &counter.angle, step, resetNumber);
    HGLOBAL big = FinishLiteralRenderTarget(&target);
    // RescaleDibPercent (25, 25, filter 0): each side times 25 % rounded.
    HGLOBAL small = OracleRescaleDib(big, static_cast<int32_t>(width * 25 * 0.01 + 0.5),
                                     static_cast<int32_t>(height * 25 * 0.01 + 0.5), 0, 1.0);
    GlobalFree(big);
    if (small && grey) {
        if (HGLOBAL reduced = OracleReduceToGrey8(small)) {
            GlobalFree(small);
            small = reduced;
        }
    }
    return small;
}
