// The maker: one function per way of the plan. Each draws only through GDI
// objects made within the call and released before it returns.
#include "render/frame_maker.h"

#include <cstring>
#include <new>
#include <utility>

#include "render/kept_surface.h"
#include "render/layer_learning.h"
#include "render/leader_layers.h"
#include "render/render_target.h"
#include "win/dib_canvas.h"

namespace {

// "A frame painted with a failing object is what the painter leaves on a
// fresh surface", which starts zeroed: a surface that held an earlier frame
// is zeroed before GDI paints a backdrop on it.
void ZeroLikeAFreshSurface(uint8_t* pixels, const FrameState& state)
{
    GdiFlush();
    std::memset(pixels, 0, static_cast<size_t>(state.height) * static_cast<size_t>(DibStride(state.width, 24)));
}

// "A frame whose DC or DIB section cannot be made is not made: null, more
// 1, the counter unchanged." A frame laid wholly from kept pixels needs
// neither, so it makes a 1 x 1 pair that nothing is drawn on and goes on
// only when it could.
bool FrameCanHaveItsDcAndSection() { return static_cast<bool>(DibCanvas(Rgb24Header(1, 1))); }

// Marks what a frame of backdrop `backdrop` with its number in `box` can
// change on a surface holding the plan's held frame: where the two backdrops
// differ, and both numbers' boxes (the overlay is the same in both). The
// whole surface when either is not known.
void MarkFrameChange(KeptSurface& surface, const FramePlan& plan, const ByteRuns* backdrop, const RECT* box,
                     const FrameState& state)
{
    if (!plan.heldBackdrop || !plan.heldBox || !backdrop || !box) {
        surface.changed.markAll();
        return;
    }
    try {
        MarkRunsChanged(surface.changed, BackdropDifference(*plan.heldBackdrop, *backdrop), state.width, state.height);
    } catch (const std::bad_alloc&) {
        surface.changed.markAll();
        return;
    }
    MarkBoxChanged(surface.changed, *plan.heldBox);
    MarkBoxChanged(surface.changed, *box);
}

FrameOutcome PaintOnFreshSurface(const FrameState& state)
{
    FrameOutcome outcome;
    RenderTarget target = CreateRenderTarget(state.width, state.height);
    if (!target) return outcome;
    outcome.found.allObjectsMade = PaintLeaderLayers(target.dc(), &target.rect(), state.number, state.angle);
    outcome.painted = FinishRenderTarget(std::move(target));
    outcome.made = true;
    return outcome;
}

FrameOutcome PaintWhole(KeptSurface& surface, const FrameState& state)
{
    FrameOutcome outcome;
    RenderTarget target = CreateRenderTargetOn(surface);
    if (!target) return outcome;
    surface.changed.markAll();
    ZeroLikeAFreshSurface(target.pixels(), state);
    outcome.found.allObjectsMade = PaintLeaderLayers(target.dc(), &target.rect(), state.number, state.angle);
    outcome.made = true;
    return outcome;
}

// Stamps what is kept, paints the rest with GDI, and finds what the plan
// wants found, also when an object failed: whether that may be kept is the
// learner's to say.
FrameOutcome DrawAndLearn(KeptSurface& surface, const FramePlan& plan, const FrameState& state)
{
    FrameOutcome outcome;
    RenderTarget target = CreateRenderTargetOn(surface);
    if (!target) return outcome;
    outcome.made = true;
    FrameFindings& found = outcome.found;
    HDC dc = target.dc();
    const RECT* rect = &target.rect();
    uint8_t* pixels = target.pixels();
    bool allMade = true;
    try {
        if (plan.backdrop) {
            GdiFlush();
            StampRuns(pixels, *plan.backdrop);
        } else {
            ZeroLikeAFreshSurface(pixels, state);
            allMade = PaintLeaderBackdrop(dc, rect, state.angle);
            if (plan.findBackdrop) {
                GdiFlush();
                ByteRuns runs;
                if (BackdropRunsOf(pixels, state.width, state.height, &runs)) found.backdrop = std::move(runs);
            }
        }
        allMade = PaintLeaderNumber(dc, rect, state.number) && allMade;
        if (plan.overlay) {
            GdiFlush();
            StampRuns(pixels, *plan.overlay);
        } else {
            allMade = PaintLeaderOverlay(dc, rect) && allMade;
        }
        if (plan.findOverlay) {
            ByteRuns runs;
            if (FindLeaderOverlay(state.width, state.height, &runs)) found.overlay = std::move(runs);
        }
        if (plan.findBox) {
            RECT box;
            if (FindNumberBox(state.width, state.height, state.number, &box)) found.box = box;
        }
    } catch (const std::bad_alloc&) {
        // What could not be found for want of memory is simply not found.
    }
    found.allObjectsMade = allMade;
    // The overlay painted here is the kept one's bytes only once it is kept.
    found.wholeFrame = allMade && plan.overlay;
    const ByteRuns* backdrop = plan.backdrop ? plan.backdrop : found.backdrop ? &*found.backdrop : nullptr;
    const RECT* box = plan.box ? plan.box : found.box ? &*found.box : nullptr;
    if (found.wholeFrame)
        MarkFrameChange(surface, plan, backdrop, box, state);
    else
        surface.changed.markAll();
    return outcome;
}

// Stamps the kept layers and draws the number with GDI.
FrameOutcome DrawNumber(KeptSurface& surface, const FramePlan& plan, const FrameState& state)
{
    FrameOutcome outcome;
    RenderTarget target = CreateRenderTargetOn(surface);
    if (!target) return outcome;
    outcome.made = true;
    MarkFrameChange(surface, plan, plan.backdrop, plan.box, state);
    GdiFlush();
    StampRuns(target.pixels(), *plan.backdrop);
    outcome.found.allObjectsMade = PaintLeaderNumber(target.dc(), &target.rect(), state.number);
    outcome.found.wholeFrame = outcome.found.allObjectsMade;
    GdiFlush();
    StampRuns(target.pixels(), *plan.overlay);
    return outcome;
}

// Lays the whole frame from kept pixels: the backdrop (only where it differs
// from the one under the number laid there, when there is one), the number
// from its pictures, then the overlay; LayAndCheck then compares it with
// GDI's drawing.
FrameOutcome Lay(KeptSurface& surface, const FramePlan& plan, const FrameState& state)
{
    FrameOutcome outcome;
    if (!FrameCanHaveItsDcAndSection()) return outcome;
    outcome.made = true;
    FrameFindings& found = outcome.found;
    found.allObjectsMade = true;  // nothing is drawn with the frame's own objects
    uint8_t* pixels = surface.pixels();
    ByteRuns changed;
    const ByteRuns* laying = plan.backdrop;
    if (plan.laidUnder) {
        try {
            changed = BackdropDifference(*plan.laidUnder, *plan.backdrop);
            laying = &changed;
        } catch (const std::bad_alloc&) {
        }
    }
    // Laid over the same number, the frame changes only what it lays.
    if (laying == &changed)
        MarkRunsChanged(surface.changed, changed, state.width, state.height);
    else
        MarkFrameChange(surface, plan, plan.backdrop, plan.box, state);
    StampRuns(pixels, *laying);
    if (!LayNumber(pixels, state.width, state.height, *laying, state.number, *plan.box, *plan.pictures,
                   found.pictures)) {
        outcome.layingFailed = true;
        return outcome;
    }
    if (laying == &changed)
        StampRunsWithin(pixels, *plan.overlay, changed);
    else
        StampRuns(pixels, *plan.overlay);
    found.wholeFrame = true;
    if (plan.way == FrameWay::Lay) {
        found.laidWhole = true;
        return outcome;
    }
    const LaidFrameCheck check = CheckLaidFrame(pixels, state.width, state.height, state.number, state.angle);
    if (check == LaidFrameCheck::CannotBeMade) {
        outcome.layingFailed = true;
        found.wholeFrame = false;
        return outcome;
    }
    // GDI's frame, written over a laying that differs from it.
    if (check == LaidFrameCheck::Differs) surface.changed.markAll();
    found.check = check == LaidFrameCheck::Same ? FrameFindings::Check::GivesGdisFrame
                                                : FrameFindings::Check::DiffersFromGdi;
    found.overOneGrey = plan.overOneGrey;
    // After a difference the surface holds GDI's frame, not a laid one.
    found.laidWhole = check == LaidFrameCheck::Same;
    return outcome;
}

}  // namespace

FrameOutcome MakeFrame(const FramePlan& plan, KeptSurface* surface, const FrameState& state)
{
    switch (plan.way) {
    case FrameWay::FreshSurface: return PaintOnFreshSurface(state);
    case FrameWay::PaintWhole: return PaintWhole(*surface, state);
    case FrameWay::DrawAndLearn: return DrawAndLearn(*surface, plan, state);
    case FrameWay::DrawNumber: return DrawNumber(*surface, plan, state);
    case FrameWay::LayAndCheck:
    case FrameWay::Lay: return Lay(*surface, plan, state);
    }
    return {};
}
