// One finished frame from the countdown's state: paint at four times the size
// on an offscreen 24-bit surface, reduce it to 25 % and, when the caller wants
// palette images, make it 8-bit grey. Every GDI object, DC and global block
// of a call is released before it returns, except the frame handed back; what
// is kept between calls is heap memory and one file mapping per kept size.
#include "render/frame_pipeline.h"

#include <cstring>
#include <new>

#include "image/grey_reduce.h"
#include "image/packed_dib.h"
#include "image/rescale.h"
#include "render/frame_cache.h"
#include "render/frame_routes.h"
#include "render/leader_layers.h"
#include "render/leader_painter.h"
#include "render/render_target.h"
#include "win/dib_canvas.h"

namespace {

constexpr int32_t SurfaceScale = 4;  // the surface is 4x the frame each way
constexpr int32_t ReducePercent = 100 / SurfaceScale;
constexpr int32_t RescalerChoosesFilter = 0;
constexpr int32_t LargestFrameSide = 0x7FFFFFFF / SurfaceScale;  // its surface still fits in 32 bits

int g_keptMemoryHolders = 0;

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

// Lays the frame from the kept layers where they are known and paints the
// rest with GDI, in the painter's order. Without kept layers (null: the
// frame's brushes, pens or font cannot all be made, or there is no memory
// for them) every layer is painted with GDI on a zeroed surface, as the
// painter does on a fresh one, so the frame is the painter's frame.
int PaintLayers(RenderTarget* target, KeptLayers* kept, int32_t* number, int32_t* angle, int32_t step,
                int32_t resetNumber)
{
    HDC dc = target->memoryDc;
    const RECT* rect = &target->rect;
    auto* pixels = static_cast<uint8_t*>(target->pixels);
    if (!kept) {
        GdiFlush();
        std::memset(pixels, 0, static_cast<size_t>(rect->bottom) * DibStride(rect->right, 24));
        return PaintLeaderFrame(dc, rect, number, angle, step, resetNumber);
    }

    if (const ByteRuns* backdrop = kept->backdrop(*angle)) {
        GdiFlush();
        StampRuns(pixels, *backdrop);
    } else if (PaintLeaderBackdrop(dc, rect, *angle)) {
        GdiFlush();
        kept->learnBackdrop(*angle, pixels);
    }

    PaintLeaderNumber(dc, rect, *number);

    if (const ByteRuns* overlay = kept->overlay()) {
        GdiFlush();
        StampRuns(pixels, *overlay);
    } else {
        PaintLeaderOverlay(dc, rect);
    }
    return StepLeaderCounter(number, angle, step, resetNumber);
}

// The rescaled 24-bit frame made what the caller asked for. When the grey
// step fails, the 24-bit frame goes on, as it is.
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

// The layers when they may be laid from kept pixels: only while the frame's
// brushes, pens and font can all be made.
KeptLayers* LayersToLay(KeptFrameSize* kept, const RECT* rect, int32_t angle)
{
    return kept && LeaderObjectsCanBeMade(rect, angle) ? &kept->layers : nullptr;
}

// Paints the kept route's frame on the kept surface. Once every layer but the
// number is kept and the number's box is known, no GDI drawing is needed:
// the backdrop is laid, the number laid in its box from its pictures over
// the backdrop's greys, then the overlay. When the surface holds a whole
// laid frame of the same number, the first two are done only where the
// backdrop differs from the one already there. Until then, or when the
// number cannot be laid so, the frame is painted on a DIB section on the
// kept surface's mapping. Either way the frame has its DC and DIB section,
// made and released within the call, so that a frame that cannot have them
// is a frame not made, as on every route: false then, before anything is
// written, and the counter has not moved.
bool PaintOnKeptSurface(KeptFrameSize* kept, int32_t* number, int32_t* angle, int32_t step, int32_t resetNumber,
                        int32_t* more)
{
    KeptSurface& surface = kept->surface;
    const RECT surfaceRect = {0, 0, surface.header()->biWidth, surface.header()->biHeight};
    KeptLayers* layers = LayersToLay(kept, &surfaceRect, *angle);
    const ByteRuns* backdrop = layers ? layers->backdrop(*angle) : nullptr;
    const ByteRuns* overlay = backdrop ? layers->overlay() : nullptr;
    const RECT* box = overlay ? layers->numberBox(*number) : nullptr;
    const KeptSurface::LaidFrame laid = surface.laid;
    surface.laid = {};  // until this frame is whole
    if (box) {
        // The frame's DC and DIB section: nothing is drawn on them, but a
        // frame that cannot have them is not made, as on the other routes.
        if (!DibCanvas(Rgb24Header(1, 1))) return false;
        const ByteRuns* under = laid.known && laid.number == *number ? layers->backdrop(laid.angle) : nullptr;
        ByteRuns changed;
        const ByteRuns* laying = backdrop;
        if (under) {
            try {
                changed = BackdropDifference(*under, *backdrop);
                laying = &changed;
            } catch (const std::bad_alloc&) {
            }
        }
        StampRuns(surface.pixels(), *laying);
        if (layers->numberLaidAsDrawn(*backdrop, *number, *box) &&
            layers->layNumber(surface.pixels(), *laying, *number, *box)) {
            StampRuns(surface.pixels(), *overlay);
            surface.laid = {true, *angle, *number};
            *more = StepLeaderCounter(number, angle, step, resetNumber);
            return true;
        }
    }
    RenderTarget target;
    if (!CreateRenderTargetOn(surface, &target)) return false;
    *more = PaintLayers(&target, layers, number, angle, step, resetNumber);
    FinishRenderTarget(&target, 0);
    return true;
}

// The kept route: the surface's memory, its layers and the rescaler's
// working memory stay from frame to frame; the frame's DC and DIB section are
// made and released within the call. The frame's block is made first, so
// that a frame without memory for it is a frame not painted (the counter
// stays, as when any surface cannot be made); the rescale then fills it
// straight from the kept surface.
HGLOBAL RenderOnKeptSurface(KeptFrameSize* kept, int32_t* number, int32_t* angle, int32_t step,
                            int32_t resetNumber, FrameFormat format, int32_t* more)
{
    const BITMAPINFOHEADER* header = kept->surface.header();
    GlobalBlock frame(CreatePackedDib(header->biWidth / SurfaceScale, header->biHeight / SurfaceScale, nullptr, 24));
    if (!frame) return nullptr;
    if (!PaintOnKeptSurface(kept, number, angle, step, resetNumber, more)) return nullptr;
    if (!RescalePixelsInto(header, kept->surface.pixels(), frame.get(), RescalerChoosesFilter, 1.0,
                           &KeptFrames().rescaleMemory()))
        return nullptr;
    return InFormat(frame.release(), format);
}

}  // namespace

int PaintRenderTargetBy(FrameRoute route, RenderTarget* target, int32_t* number, int32_t* angle,
                        int32_t step, int32_t resetNumber)
{
    if (route == FrameRoute::Plain)
        return PaintLeaderFrame(target->memoryDc, &target->rect, number, angle, step, resetNumber);
    KeptFrameSize* kept = KeptFrames().use(target->rect.right, target->rect.bottom);
    return PaintLayers(target, LayersToLay(kept, &target->rect, *angle), number, angle, step, resetNumber);
}

HGLOBAL RenderLeaderFrameBy(FrameRoute route, const RECT* rect, int32_t* number, int32_t* angle,
                            int32_t step, int32_t resetNumber, FrameFormat format, int32_t* more)
{
    *more = 1;
    int32_t width = 0, height = 0;
    if (!SurfaceSizeFor(rect, &width, &height)) return nullptr;

    if (route == FrameRoute::Kept && KeptSurface::Fits(width, height)) {
        // Memory for the size that cannot be had is a surface that cannot be made.
        KeptFrameSize* kept = KeptFrames().use(width, height);
        if (!kept || !kept->surface.shape(width, height)) return nullptr;
        return RenderOnKeptSurface(kept, number, angle, step, resetNumber, format, more);
    }

    // Larger surfaces than are kept take the fresh surface.
    if (route == FrameRoute::Kept) route = FrameRoute::FreshSurface;
    RenderTarget target;
    if (!CreatePixelRenderTarget(width, height, &target)) return nullptr;
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
    return InFormat(small, format);
}

HGLOBAL RenderLeaderFrame(const RECT* rect, int32_t* number, int32_t* angle, int32_t step,
                          int32_t resetNumber, FrameFormat format, int32_t* more)
{
    return RenderLeaderFrameBy(FrameRoute::Kept, rect, number, angle, step, resetNumber, format, more);
}

void ReleaseKeptFrameMemory() { KeptFrames().release(); }

size_t KeptFrameMemoryBytes() { return KeptFrames().keptBytes(); }

KeptFrameMemoryScope::KeptFrameMemoryScope() { ++g_keptMemoryHolders; }

KeptFrameMemoryScope::~KeptFrameMemoryScope()
{
    if (--g_keptMemoryHolders == 0) ReleaseKeptFrameMemory();
}
