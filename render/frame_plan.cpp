// The planner: one decision per frame, read off what is kept.
#include "render/frame_plan.h"

#include "render/frame_cache.h"
#include "render/leader_layers.h"
#include "render/number_pictures.h"

FrameState ReadFrameState(const LeaderCounter& counter, int32_t width, int32_t height)
{
    FrameState state;
    state.width = width;
    state.height = height;
    state.number = counter.number;
    state.angle = counter.angle;
    const RECT surface = {0, 0, width, height};
    state.objectsCanBeMade = LeaderObjectsCanBeMade(&surface, counter.angle);
    state.smoothing = CurrentTextSmoothing();
    return state;
}

FramePlan PlanFrame(const KeptFrameSize* kept, const FrameState& state)
{
    FramePlan plan;
    if (!kept) return plan;
    // A layer stamped where the painter would draw nothing, or draw with
    // whatever the DC held, is not the painter's frame.
    if (!state.objectsCanBeMade) {
        plan.way = FrameWay::PaintWhole;
        return plan;
    }
    const KeptLayers& layers = kept->layers;
    const KeptSurface::Holds& holds = kept->surface.holds;
    if (holds.known) {
        plan.heldBackdrop = layers.backdrop(holds.angle);
        plan.heldBox = layers.numberBox(holds.number);
    }
    // Boxes, pictures and verdicts hold only under the text smoothing they
    // were learnt with; otherwise they are as good as not kept (what the
    // surface holds is what was drawn, whatever the settings now).
    const bool textHolds = layers.numbersLearntUnder() == state.smoothing;
    plan.backdrop = layers.backdrop(state.angle);
    plan.overlay = layers.overlay();
    plan.box = textHolds ? layers.numberBox(state.number) : nullptr;
    if (!plan.backdrop || !plan.overlay || !plan.box) {
        plan.way = FrameWay::DrawAndLearn;
        plan.findBackdrop = !plan.backdrop && layers.wantsBackdrop(state.angle);
        plan.findOverlay = !plan.overlay;
        // Numbers learnt under other text settings are about to go.
        plan.findBox = !plan.box && (!textHolds || layers.wantsNumberBox(state.number));
        return plan;
    }

    // Which greys lie under the box matters only while the two layings'
    // verdicts differ or are still to be found (once both are known alike,
    // every frame of the number goes one way).
    const KeptLayers::Laying overOne = layers.laying(state.number, true);
    const KeptLayers::Laying overMore = layers.laying(state.number, false);
    KeptLayers::Laying verdict = overOne;
    if (overOne != overMore || overOne == KeptLayers::Laying::Unchecked) {
        plan.overOneGrey = GreysInBox(*plan.backdrop, state.width, state.height, *plan.box) < 2;
        verdict = plan.overOneGrey ? overOne : overMore;
    }
    switch (verdict) {
    case KeptLayers::Laying::Unchecked: plan.way = FrameWay::LayAndCheck; break;
    case KeptLayers::Laying::GivesGdisFrame: plan.way = FrameWay::Lay; break;
    case KeptLayers::Laying::DiffersFromGdi: plan.way = FrameWay::DrawNumber; return plan;
    }
    plan.pictures = &layers.numberPictures();
    if (holds.known && holds.numberLaid && holds.number == state.number) plan.laidUnder = plan.heldBackdrop;
    return plan;
}

FramePlan PlanAfterFailedLaying(const KeptFrameSize* kept, const FrameState& state)
{
    FramePlan plan = PlanFrame(kept, state);
    if (plan.way == FrameWay::Lay || plan.way == FrameWay::LayAndCheck) {
        plan.way = FrameWay::DrawNumber;
        plan.pictures = nullptr;
        plan.laidUnder = nullptr;
        plan.overOneGrey = false;
    }
    return plan;
}
