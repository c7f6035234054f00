// The kept route: one plan per frame, chosen from what is kept, and one
// dispatch on it. Learning happens only in DrawAndLearn and in the check of
// a laid frame, and only from frames whose objects were all made.
#include "render/kept_route.h"

#include <new>
#include <utility>

#include "image/rescale.h"
#include "render/frame_cache.h"
#include "render/frame_routes.h"
#include "render/kept_layers.h"
#include "render/kept_surface.h"
#include "render/leader_layers.h"
#include "render/leader_painter.h"
#include "render/outcome_parity.h"
#include "render/render_target.h"
#include "render/text_smoothing.h"

namespace {

constexpr int32_t RescalerChoosesFilter = 0;

// Whether the number's box lies over one grey of the frame's backdrop (both
// kept): the first frame of each number, before the sweep begins.
bool OverOneGrey(const KeptLayers& layers, int32_t number, int32_t angle)
{
    return GreysInBox(*layers.backdrop(angle), layers.width(), layers.height(), *layers.numberBox(number)) < 2;
}

// Lays the whole frame from kept pixels: the backdrop (where the surface
// holds a laid frame of the same number, only where the backdrops differ),
// the number from its pictures, then the overlay. False when a picture
// cannot be had; the surface is then partly written.
bool LayFrame(KeptSurface& surface, KeptLayers& layers, const KeptSurface::LaidFrame& onSurface, int32_t number,
              int32_t angle)
{
    const ByteRuns& backdrop = *layers.backdrop(angle);
    const ByteRuns* under =
        onSurface.known && onSurface.number == number ? layers.backdrop(onSurface.angle) : nullptr;
    ByteRuns changed;
    const ByteRuns* laying = &backdrop;
    if (under) {
        try {
            changed = BackdropDifference(*under, backdrop);
            laying = &changed;
        } catch (const std::bad_alloc&) {
        }
    }
    StampRuns(surface.pixels(), *laying);
    if (!layers.numberPictures().lay(surface.pixels(), layers.width(), layers.height(), *laying, number,
                                     *layers.numberBox(number)))
        return false;
    StampRuns(surface.pixels(), *layers.overlay());
    return true;
}

// Paints the frame on the kept surface by its plan. False, with the counter
// unmoved, when the frame cannot have its DC and DIB section.
bool PaintOnKeptSurface(KeptFrameSize* kept, int32_t* number, int32_t* angle, int32_t step, int32_t resetNumber,
                        int32_t* more)
{
    KeptSurface& surface = kept->surface;
    KeptLayers& layers = kept->layers;
    const RECT surfaceRect = {0, 0, layers.width(), layers.height()};
    if (layers.followTextSmoothing(CurrentTextSmoothing())) surface.laid = {};
    const KeptPlan plan = PlanKeptFrame(layers, *number, *angle, FrameObjectsCanAllBeMade(&surfaceRect, *angle));
    const KeptSurface::LaidFrame onSurface = surface.laid;
    surface.laid = {};  // until this frame is whole

    switch (plan) {
    case KeptPlan::Lay:
    case KeptPlan::LayAndCheck: {
        if (!FrameCanHaveItsDcAndSection()) return false;
        if (!LayFrame(surface, layers, onSurface, *number, *angle)) break;  // drawn with GDI below
        bool laidWhole = true;
        if (plan == KeptPlan::LayAndCheck) {
            const bool overOneGrey = OverOneGrey(layers, *number, *angle);
            const LaidFrameCheck found =
                CheckLaidFrame(surface.pixels(), layers.width(), layers.height(), *number, *angle);
            if (found == LaidFrameCheck::CannotBeMade) break;  // unchecked: drawn with GDI below
            layers.keepLaying(*number, overOneGrey, found == LaidFrameCheck::Same);
            // After a difference the surface holds GDI's frame, not a laid one.
            laidWhole = found == LaidFrameCheck::Same;
        }
        if (laidWhole) surface.laid = {true, *angle, *number};
        *more = StepLeaderCounter(number, angle, step, resetNumber);
        return true;
    }
    case KeptPlan::DrawAndLearn:
    case KeptPlan::PaintWithGdi:
        break;
    }

    RenderTarget target;
    if (!CreateRenderTargetOn(surface, &target)) return false;
    *more = DrawAndLearn(&target, plan == KeptPlan::PaintWithGdi ? nullptr : &layers, number, angle, step,
                         resetNumber);
    FinishRenderTarget(&target, 0);
    return true;
}

}  // namespace

KeptPlan PlanKeptFrame(const KeptLayers& layers, int32_t number, int32_t angle, bool objectsCanAllBeMade)
{
    if (!objectsCanAllBeMade) return KeptPlan::PaintWithGdi;
    if (!layers.backdrop(angle) || !layers.overlay() || !layers.numberBox(number)) return KeptPlan::DrawAndLearn;
    // Which greys lie under the box matters only while the two layings'
    // verdicts differ (once both are known, every frame is laid).
    const KeptLayers::Laying overOne = layers.laying(number, true), overMore = layers.laying(number, false);
    switch (overOne == overMore ? overOne : OverOneGrey(layers, number, angle) ? overOne : overMore) {
    case KeptLayers::Laying::Unchecked: return KeptPlan::LayAndCheck;
    case KeptLayers::Laying::GivesGdisFrame: return KeptPlan::Lay;
    case KeptLayers::Laying::DiffersFromGdi: break;
    }
    return KeptPlan::DrawAndLearn;
}

int DrawAndLearn(RenderTarget* target, KeptLayers* layers, int32_t* number, int32_t* angle, int32_t step,
                 int32_t resetNumber)
{
    HDC dc = target->dc();
    const RECT* rect = &target->rect;
    auto* pixels = static_cast<uint8_t*>(target->pixels);
    if (!layers) {
        ZeroLikeAFreshSurface(pixels, rect->right, rect->bottom);
        return PaintLeaderFrame(dc, rect, number, angle, step, resetNumber);
    }

    bool allMade = true;
    ByteRuns paintedBackdrop;
    if (const ByteRuns* backdrop = layers->backdrop(*angle)) {
        GdiFlush();
        StampRuns(pixels, *backdrop);
    } else {
        ZeroLikeAFreshSurface(pixels, rect->right, rect->bottom);
        allMade = PaintLeaderBackdrop(dc, rect, *angle);
        if (allMade && layers->backdropWanted(*angle)) {
            GdiFlush();
            try {
                layers->backdropRunsOf(pixels, &paintedBackdrop);
            } catch (const std::bad_alloc&) {
                paintedBackdrop.clear();
            }
        }
    }
    allMade = PaintLeaderNumber(dc, rect, *number) && allMade;
    if (const ByteRuns* overlay = layers->overlay()) {
        GdiFlush();
        StampRuns(pixels, *overlay);
    } else {
        allMade = PaintLeaderOverlay(dc, rect) && allMade;
    }

    // Only a frame whose objects were all made shows what may be kept.
    if (allMade) {
        layers->learnBackdrop(*angle, std::move(paintedBackdrop));
        layers->learnOverlay();
        layers->learnNumberBox(*number);
    }
    return StepLeaderCounter(number, angle, step, resetNumber);
}

HGLOBAL RenderOnKeptSurface(FrameCache* cache, KeptFrameSize* kept, int32_t* number, int32_t* angle, int32_t step,
                            int32_t resetNumber, int32_t* more)
{
    // The frame's block is made first, so that a frame without memory for it
    // is a frame not painted (the counter stays, as when any surface cannot
    // be made); the rescale then fills it straight from the kept surface.
    const BITMAPINFOHEADER* header = kept->surface.header();
    GlobalBlock frame(CreatePackedDib(header->biWidth / SurfaceScale, header->biHeight / SurfaceScale, nullptr, 24));
    if (!frame) return nullptr;
    if (!PaintOnKeptSurface(kept, number, angle, step, resetNumber, more)) return nullptr;
    if (!RescalePixelsInto(header, kept->surface.pixels(), frame.get(), RescalerChoosesFilter, 1.0,
                           &cache->rescaleMemory()))
        return nullptr;
    return frame.release();
}
