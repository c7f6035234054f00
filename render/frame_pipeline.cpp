// One finished frame from the countdown's state, by one of the routes of
// frame_routes.h: paint at four times the size, reduce it to 25 % and, when
// the caller wants palette images, make it 8-bit grey.
#include "render/frame_pipeline.h"

#include "image/grey_reduce.h"
#include "image/packed_dib.h"
#include "image/rescale.h"
#include "render/frame_cache.h"
#include "render/frame_routes.h"
#include "render/kept_route.h"
#include "render/leader_painter.h"
#include "render/outcome_parity.h"
#include "render/render_target.h"

namespace {

constexpr int32_t ReducePercent = 100 / SurfaceScale;
constexpr int32_t RescalerChoosesFilter = 0;
constexpr int32_t LargestFrameSide = 0x7FFFFFFF / SurfaceScale;  // its surface still fits in 32 bits

// The 4x surface's size for a frame rectangle; false when a side is not
// positive or its four times does not fit in 32 bits (computed in 64 bits,
// so that no rectangle wraps round to a small surface).
bool SurfaceSizeFor(const RECT* rect, int32_t* width, int32_t* height)
{
    const int64_t w = static_cast<int64_t>(rect->right) - rect->left;
    const int64_t h = static_cast<int64_t>(rect->bottom) - rect->top;
    if (w <= 0 || h <= 0 || w > LargestFrameSide || h > LargestFrameSide) return false;
    *width = static_cast<int32_t>(w * SurfaceScale);
    *height = static_cast<int32_t>(h * SurfaceScale);
    return true;
}

// The rescaled 24-bit frame made what the caller asked for; when the grey
// step fails, the 24-bit frame goes on as it is.
HGLOBAL InFormat(HGLOBAL frame, FrameFormat format)
{
    if (format == FrameFormat::GreyPalette) {
        if (HGLOBAL reduced = ReduceToGrey8(frame)) {
            GlobalFree(frame);
            return reduced;
        }
    }
    return frame;
}

}  // namespace

int PaintRenderTargetBy(FrameRoute route, FrameCache* cache, RenderTarget* target, int32_t* number,
                        int32_t* angle, int32_t step, int32_t resetNumber)
{
    if (route == FrameRoute::Plain || !cache)
        return PaintLeaderFrame(target->dc(), &target->rect, number, angle, step, resetNumber);
    KeptFrameSize* kept = cache->use(target->rect.right, target->rect.bottom);
    KeptLayers* layers = kept && FrameObjectsCanAllBeMade(&target->rect, *angle) ? &kept->layers : nullptr;
    return DrawAndLearn(target, layers, number, angle, step, resetNumber);
}

HGLOBAL RenderLeaderFrameBy(FrameRoute route, FrameCache* cache, const RECT* rect, int32_t* number,
                            int32_t* angle, int32_t step, int32_t resetNumber, FrameFormat format, int32_t* more)
{
    *more = 1;
    int32_t width = 0, height = 0;
    if (!SurfaceSizeFor(rect, &width, &height)) return nullptr;
    if (!cache) route = FrameRoute::Plain;

    if (route == FrameRoute::Kept) {
        if (KeptSurface::Fits(width, height)) {
            // Memory for the size that cannot be had is a surface that cannot be made.
            KeptFrameSize* kept = cache->use(width, height);
            if (!kept || !kept->surface.shape(width, height)) return nullptr;
            HGLOBAL frame = RenderOnKeptSurface(cache, kept, number, angle, step, resetNumber, more);
            return frame ? InFormat(frame, format) : nullptr;
        }
        // Larger surfaces than the dialog asks for are not kept.
        route = FrameRoute::Plain;
    }

    // A fresh surface, made and freed with the frame.
    RenderTarget target;
    if (!CreatePixelRenderTarget(width, height, &target)) return nullptr;
    GdiFlush();
    SetMapMode(target.dc(), MM_TEXT);
    *more = PaintRenderTargetBy(route, cache, &target, number, angle, step, resetNumber);
    GdiFlush();
    FinishRenderTarget(&target, KeepRenderTargetBlock);

    HGLOBAL small = RescaleDibPercent(target.block, ReducePercent, ReducePercent, RescalerChoosesFilter);
    if (!small) {
        FinishRenderTarget(&target, 0);
        return nullptr;
    }
    GlobalFree(target.block);
    return InFormat(small, format);
}

HGLOBAL RenderLeaderFrame(FrameCache* cache, const RECT* rect, int32_t* number, int32_t* angle, int32_t step,
                          int32_t resetNumber, FrameFormat format, int32_t* more)
{
    return RenderLeaderFrameBy(FrameRoute::Kept, cache, rect, number, angle, step, resetNumber, format, more);
}
