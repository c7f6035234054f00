// One finished frame from the countdown's state: planned, made and learnt
// from (frame_plan.h, frame_maker.h, frame_learner.h), then reduced to 25 %
// and, when the caller wants palette images, made 8-bit grey.
#include "render/frame_pipeline.h"

#include "image/grey_reduce.h"
#include "image/packed_dib.h"
#include "image/rescale.h"
#include "render/frame_cache.h"
#include "render/frame_learner.h"
#include "render/frame_maker.h"
#include "render/frame_plan.h"
#include "render/leader_layers.h"

namespace {

// The surface is four times the frame each way.
constexpr int32_t SurfaceScale = 4;
constexpr int32_t ReducePercent = 100 / SurfaceScale;
constexpr int32_t RescalerChoosesFilter = 0;
constexpr int32_t LargestFrameSide = 0x7FFFFFFF / SurfaceScale;  // its surface still fits in 32 bits

// The 4x surface's size for a frame rectangle; false when a side is not
// positive or its four times does not fit in 32 bits (computed in 64 bits,
// so that no rectangle wraps round to a small surface).
bool SurfaceSizeFor(const RECT& rect, int32_t* width, int32_t* height)
{
    const int64_t w = static_cast<int64_t>(rect.right) - rect.left;
    const int64_t h = static_cast<int64_t>(rect.bottom) - rect.top;
    if (w <= 0 || h <= 0 || w > LargestFrameSide || h > LargestFrameSide) return false;
    *width = static_cast<int32_t>(w * SurfaceScale);
    *height = static_cast<int32_t>(h * SurfaceScale);
    return true;
}

// What is kept for a size whose surface is kept: null when it is not (no
// cache, or a surface larger than the dialog asks for); false when it is but
// its memory cannot be had.
bool KeptForSize(FrameCache* cache, int32_t width, int32_t height, KeptFrameSize** kept)
{
    *kept = nullptr;
    if (!cache || !KeptSurface::Fits(width, height)) return true;
    *kept = cache->use(width, height);
    return *kept && (*kept)->surface.shape(width, height);
}

// The painted surface reduced to the delivered frame: a fresh surface's
// block by the rescaler as it is; a kept surface's pixels into the frame's
// block made before painting, from the last frame reduced from them where
// they did not change. Empty when the rescale fails.
GlobalBlock Reduce(FrameOutcome& outcome, KeptFrameSize* kept, GlobalBlock frame, FrameCache* cache)
{
    if (!kept) return GlobalBlock(RescaleDibPercent(outcome.painted.get(), ReducePercent, ReducePercent,
                                                    RescalerChoosesFilter));
    KeptSurface& surface = kept->surface;
    {
        LockedGlobal lock(frame.get());
        auto* to = static_cast<BITMAPINFOHEADER*>(lock.get());
        if (!to || !surface.reduction.rescale(surface.header(), surface.pixels(), surface.changed, to,
                                              &cache->rescaleMemory()))
            return {};
    }
    // What changed is in the frame just reduced.
    surface.changed.clear();
    return frame;
}

// The rescaled 24-bit frame made what the caller asked for; when the grey
// step fails, the 24-bit frame goes on as it is.
GlobalBlock InFormat(GlobalBlock frame, FrameFormat format)
{
    if (format == FrameFormat::GreyPalette) {
        if (HGLOBAL reduced = ReduceToGrey8(frame.get())) return GlobalBlock(reduced);
    }
    return frame;
}

}  // namespace

LeaderFrame RenderLeaderFrame(FrameCache* cache, const FrameRequest& request, LeaderCounter& counter)
{
    int32_t width = 0, height = 0;
    KeptFrameSize* kept = nullptr;
    if (!SurfaceSizeFor(request.rect, &width, &height) || !KeptForSize(cache, width, height, &kept)) return {};
    // On a kept surface the frame's block comes first, so that a frame
    // without memory for it is one not painted.
    GlobalBlock frame(kept ? CreatePackedDib(width / SurfaceScale, height / SurfaceScale, nullptr, 24) : nullptr);
    if (kept && !frame) return {};

    const FrameState state = ReadFrameState(counter, width, height);
    FramePlan plan = PlanFrame(kept, state);
    FrameOutcome outcome = MakeFrame(plan, kept ? &kept->surface : nullptr, state);
    LearnFromFrame(kept, state, std::move(outcome.found));
    if (outcome.layingFailed) {
        plan = PlanAfterFailedLaying(kept, state);
        outcome = MakeFrame(plan, &kept->surface, state);
        LearnFromFrame(kept, state, std::move(outcome.found));
    }
    if (!outcome.made) return {};

    LeaderFrame made;
    made.more = StepLeaderCounter(counter, request.step, request.resetNumber);
    frame = Reduce(outcome, kept, std::move(frame), cache);
    if (frame) made.block = InFormat(std::move(frame), request.format);
    return made;
}

void ForgetWhatFramesLearntFromText(FrameCache& cache) { ForgetWhatTextTaught(cache); }
