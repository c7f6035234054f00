// One finished frame from the countdown's state: paint at four times the size
// on an offscreen 24-bit surface, move the pixels into a packed DIB, reduce it
// to 25 % and, when the host wants palette images, make it 8-bit grey. Every
// block, surface and GDI object of a call is released before it returns; only
// the bytes of the leader's opaque layers are kept between calls (kept_layers.h).
#include "render/frame_pipeline.h"

#include "image/grey_reduce.h"
#include "image/rescale.h"
#include "plugin/module_state.h"
#include "render/frame_routes.h"
#include "render/leader_layers.h"
#include "image/packed_dib.h"
#include "render/frame_cache.h"
#include "render/leader_painter.h"
#include "render/render_target.h"

namespace {

constexpr int32_t ReducePercent = 25;  // the surface is 4x the frame each way
constexpr int32_t RescalerChoosesFilter = 0;

}  // namespace

int PaintRenderTargetBy(FrameRoute route, RenderTarget* target, int32_t* number, int32_t* angle,
                        int32_t step, int32_t resetNumber)
{
    HDC dc = target->memoryDc;
    const RECT* rect = &target->rect;
    if (route == FrameRoute::Plain) return PaintLeaderFrame(dc, rect, number, angle, step, resetNumber);

    // The same layers in the same order; the opaque ones are written from
    // their kept bytes when known, and learnt from GDI when not.
    auto* pixels = static_cast<uint8_t*>(target->pixels);

    KeptFrameSize* keptSize = KeptFrames().use(rect->right, rect->bottom);
    KeptLayers* kept = keptSize ? &keptSize->layers : nullptr;

    const ByteRuns* backdrop = kept ? kept->backdrop(*angle) : nullptr;
    if (backdrop) {
        GdiFlush();
        StampRuns(pixels, *backdrop);
    } else if (PaintLeaderBackdrop(dc, rect, *angle) && kept) {
        GdiFlush();
        kept->learnBackdrop(*angle, pixels);
    }

    PaintLeaderNumber(dc, rect, *number);

    const ByteRuns* overlay = kept ? kept->overlay() : nullptr;
    if (overlay) {
        GdiFlush();
        StampRuns(pixels, *overlay);
    } else {
        PaintLeaderOverlay(dc, rect);
    }
    return StepLeaderCounter(number, angle, step, resetNumber);
}

HGLOBAL RenderLeaderFrameBy(FrameRoute route, const RECT* rect, int32_t* number, int32_t* angle,
                            int32_t step, int32_t resetNumber, int32_t* more)
{
    RenderTarget target = {};
    *more = 1;
    const int32_t width = static_cast<int32_t>(static_cast<uint32_t>(rect->right - rect->left) << 2);
    const int32_t height = static_cast<int32_t>(static_cast<uint32_t>(rect->bottom - rect->top) << 2);
    if (!CreatePixelRenderTarget(width, height, &target)) {
        FinishRenderTarget(&target, 0);
        return nullptr;
    }
    GdiFlush();
    SetMapMode(target.memoryDc, MM_TEXT);
    *more = PaintRenderTargetBy(route, &target, number, angle, step, resetNumber);
    GdiFlush();
    FinishRenderTarget(&target, KeepRenderTargetBlock);

    HGLOBAL small = RescaleDibPercent(target.block, ReducePercent, ReducePercent, RescalerChoosesFilter);
    if (!small) {
        FinishRenderTarget(&target, 0);
        return nullptr;
    }
    GlobalFree(target.block);
    HGLOBAL frame = small;

    if (HostWantsPaletteImages()) {
        if (HGLOBAL reduced = ReduceToGrey8(frame)) {
            GlobalFree(frame);
            frame = reduced;
        }
    }
    return frame;
}

HGLOBAL RenderLeaderFrame(const RECT* rect, int32_t* number, int32_t* angle, int32_t step,
                          int32_t resetNumber, int32_t* more)
{
    return RenderLeaderFrameBy(FrameRoute::KeptOverlay, rect, number, angle, step, resetNumber, more);
}

void ReleaseKeptFrameMemory() { KeptFrames().release(); }
