// The planner: one decision per frame, read off what is kept for its size
// and the frame's own state; and the state itself, read just before.
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

FrameWay SettleNumberWay(KeptLayers::Laying overOneGrey, KeptLayers::Laying overGreys, bool boxOverOneGrey)
{
    switch (boxOverOneGrey ? overOneGrey : overGreys) {
    case KeptLayers::Laying::Unchecked: return FrameWay::LayAndCheck;
    case KeptLayers::Laying::GivesGdisFrame: return FrameWay::Lay;
    case KeptLayers::Laying::DiffersFromGdi: break;
    }
    return FrameWay::DrawNumber;
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
        plan.heldAngle = holds.angle;
        plan.heldNumber = holds.number;
        plan.heldNumberLaid = holds.numberLaid;
    }
    // Boxes, pictures and verdicts hold only under the text smoothing they
    // were learnt with; otherwise they are as good as not kept (what the
    // surface holds is what was drawn, whatever the settings now).
    const bool textHolds = layers.numbersLearntUnder() == state.smoothing;
    plan.backdrop = layers.backdrop(state.angle);
    plan.findBackdrop = !plan.backdrop && layers.wantsBackdrop(state.angle);
    plan.overlay = layers.overlay();
    plan.box = textHolds ? layers.numberBox(state.number) : nullptr;
    // The overlay and the number's box are learnt from two paints each. The
    // first frame at a size (a build's first, waited for) paints them once
    // and learns only its backdrop; the next learns them.
    plan.findOverlay = !plan.overlay && layers.sizeSeen();
    if (!plan.overlay || !plan.box) {
        plan.way = FrameWay::DrawAndLearn;
        // Numbers learnt under other text settings are about to go.
        plan.findBox = !plan.box && layers.sizeSeen() && (!textHolds || layers.wantsNumberBox(state.number));
        return plan;
    }

    plan.verdictOverOneGrey = layers.laying(state.number, true);
    plan.verdictOverGreys = layers.laying(state.number, false);
    if (plan.backdrop) {
        // Which greys lie under the box matters only while the two layings'
        // verdicts differ or are still to be found.
        if (plan.verdictOverOneGrey != plan.verdictOverGreys ||
            plan.verdictOverOneGrey == KeptLayers::Laying::Unchecked)
            plan.overOneGrey = GreysInBox(*plan.backdrop, state.width, state.height, *plan.box) < 2;
        plan.way = SettleNumberWay(plan.verdictOverOneGrey, plan.verdictOverGreys, plan.overOneGrey);
    } else {
        // Until the backdrop is painted its greys are not known; alike
        // verdicts settle the way already.
        plan.settledByBackdrop = true;
        plan.way = plan.verdictOverOneGrey == plan.verdictOverGreys
                       ? SettleNumberWay(plan.verdictOverOneGrey, plan.verdictOverGreys, true)
                       : FrameWay::LayAndCheck;
    }
    if (plan.way == FrameWay::DrawNumber) return plan;
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
        plan.settledByBackdrop = false;
    }
    return plan;
}
