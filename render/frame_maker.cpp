// The maker: one function per way of the plan. Each draws only through GDI
// objects made within the call and released before it returns. GDI draws on
// the kept surface itself (a DIB section on its mapping, whose pages must be
// mapped afresh every time) only when a frame is painted whole; everything
// else is drawn tile by tile on small sections (layer_learning.h) or laid
// from kept pixels, and only where the frame can differ from what the
// surface holds.
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

// Writes runs over the pixels of a box of the surface.
void StampRunsInBox(uint8_t* pixels, const ByteRuns& runs, const FrameState& state, const RECT& box)
{
    ForEachRunInBox(runs, state.width, state.height, box, [&](size_t start, size_t end, uint8_t value, size_t) {
        std::memset(pixels + start, value, end - start);
        return true;
    });
}

// Draws the number with GDI over its box of the surface, over the pixels
// there, on a picture of the box. False when the picture cannot be had;
// *fontMade as DrawNumberOver says.
bool DrawNumberInBox(uint8_t* pixels, const FrameState& state, const RECT& box, bool* fontMade)
{
    *fontMade = false;
    const size_t stride = static_cast<size_t>(DibStride(state.width, 24));
    const size_t boxStride = static_cast<size_t>(DibStride(box.right - box.left, 24));
    const size_t bytes = static_cast<size_t>(box.right - box.left) * 3;
    auto at = [&](LONG y) {
        return pixels + static_cast<size_t>(state.height - 1 - y) * stride + static_cast<size_t>(box.left) * 3;
    };
    std::vector<uint8_t> rows;
    try {
        rows.resize(boxStride * static_cast<size_t>(box.bottom - box.top));
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (LONG y = box.top; y < box.bottom; ++y)
        std::memcpy(rows.data() + static_cast<size_t>(box.bottom - 1 - y) * boxStride, at(y), bytes);
    if (!DrawNumberOver(state.width, state.height, state.number, box, &rows, fontMade)) return false;
    for (LONG y = box.top; y < box.bottom; ++y)
        std::memcpy(at(y), rows.data() + static_cast<size_t>(box.bottom - 1 - y) * boxStride, bytes);
    return true;
}

// The frame's backdrop over a surface that holds a known frame (the plan's
// held one): kept, its difference from the held backdrop stamped; not kept,
// painted with GDI over the wedge where it can differ from the held one, and
// its runs found. What it changed is marked. False when it could not be had
// this way (no known frame, a wedge too wide, a tile, brush or memory that
// could not be had); the surface may then be partly written, and all of it
// is marked.
struct BackdropOverHeld {
    const ByteRuns* runs = nullptr;     // the frame's backdrop
    std::optional<ByteRuns> found;      // when painted now
    // What the frame's other layers must be written again over: where the
    // backdrop differs from the held one when stamped, the whole wedge
    // when painted (which covered the number and the overlay there).
    ByteRuns rewritten;
};
// Whether the frame's backdrop can be made over the held frame at all: the
// held frame is known, and the backdrop kept or within a wedge of it.
bool BackdropCanBeMadeOverHeld(const FramePlan& plan, const FrameState& state)
{
    return plan.heldBackdrop && plan.heldBox &&
           (plan.backdrop || (state.angle < plan.heldAngle && plan.heldAngle - state.angle <= 90));
}

bool MakeBackdropOverHeld(KeptSurface& surface, const FramePlan& plan, const FrameState& state,
                          BackdropOverHeld* made)
{
    if (!BackdropCanBeMadeOverHeld(plan, state)) return false;
    uint8_t* pixels = surface.pixels();
    try {
        if (plan.backdrop) {
            made->runs = plan.backdrop;
            made->rewritten = BackdropDifference(*plan.heldBackdrop, *plan.backdrop);
            MarkRunsChanged(surface.changed, made->rewritten, state.width, state.height);
            StampRuns(pixels, made->rewritten);
            return true;
        }
        ChangedPixels wedge;
        wedge.resize(state.width, state.height);
        wedge.clear();
        const RECT rect = {0, 0, state.width, state.height};
        if (!MarkSweepBetween(&rect, plan.heldAngle, state.angle, &wedge)) return false;
        MarkSweepBetween(&rect, plan.heldAngle, state.angle, &surface.changed);
        const bool painted = PaintOverRegion(pixels, state.width, state.height, wedge, BackdropTileSide,
                                             [&](HDC dc, const RECT* r) { return PaintLeaderBackdrop(dc, r, state.angle); });
        ByteRuns runs;
        if (!painted || !BackdropRunsOf(*plan.heldBackdrop, pixels, state.width, state.height, wedge, &runs)) {
            surface.changed.markAll();
            return false;
        }
        made->found = std::move(runs);
        made->runs = &*made->found;
        made->rewritten = RunsWithin(*made->runs, wedge, state.width, state.height);
        return true;
    } catch (const std::bad_alloc&) {
        surface.changed.markAll();
        return false;
    }
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

// The frame drawn with GDI on the whole surface, as the painter draws it on
// a zeroed one, but with what is kept stamped instead of painted (an overlay
// not kept is learnt first when the plan asks, then stamped, or else painted
// once in tiles): for a frame over a surface that holds nothing known. Finds
// what the plan asks to be found, also when an object failed: whether that
// may be kept is the learner's to say.
FrameOutcome DrawWhole(KeptSurface& surface, const FramePlan& plan, const FrameState& state)
{
    FrameOutcome outcome;
    RenderTarget target = CreateRenderTargetOn(surface);
    if (!target) return outcome;
    outcome.made = true;
    surface.changed.markAll();
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
            GdiFlush();
            ByteRuns runs;
            if (BackdropRunsOf(pixels, state.width, state.height, &runs)) found.backdrop = std::move(runs);
        }
        allMade = PaintLeaderNumber(dc, rect, state.number) && allMade;
        GdiFlush();
        const ByteRuns* overlay = plan.overlay;
        if (!overlay && plan.findOverlay) {
            ByteRuns runs;
            if (FindLeaderOverlay(state.width, state.height, &runs)) found.overlay = std::move(runs);
            if (found.overlay) overlay = &*found.overlay;
        }
        if (overlay) {
            StampRuns(pixels, *overlay);
        } else {
            // Painted once, tile by tile over the whole surface; where a tile
            // or a pen cannot be had, on the surface itself (over tiles
            // already painted, a solid line draws the same bytes again).
            ChangedPixels all;
            all.resize(state.width, state.height);
            if (!PaintOverRegion(pixels, state.width, state.height, all, OverlayTileSide, PaintLeaderOverlay))
                allMade = PaintLeaderOverlay(dc, rect) && allMade;
        }
        if (plan.findBox) {
            RECT box;
            if (FindNumberBox(state.width, state.height, state.number, &box)) found.box = box;
        }
        // The surface holds this frame, its backdrop and box about to be kept
        // and its overlay GDI's own.
        found.wholeFrame = allMade && (plan.backdrop || found.backdrop) && (plan.box || found.box);
    } catch (const std::bad_alloc&) {
        // What could not be found for want of memory is simply not found.
    }
    found.allObjectsMade = allMade;
    return outcome;
}

// The number drawn with GDI over its box, once the frame's backdrop (`runs`)
// is on the surface outside the boxes: the held number goes, the box gets
// its backdrop back to be drawn over, and the overlay is stamped over both.
// False when the picture of the box cannot be had (the surface is then
// marked changed all over).
bool DrawTheNumber(KeptSurface& surface, const FramePlan& plan, const FrameState& state, const ByteRuns& runs,
                   const ByteRuns& overlay, const RECT& box, FrameFindings& found)
{
    uint8_t* pixels = surface.pixels();
    MarkBoxChanged(surface.changed, *plan.heldBox);
    MarkBoxChanged(surface.changed, box);
    StampRunsInBox(pixels, runs, state, *plan.heldBox);
    StampRunsInBox(pixels, runs, state, box);
    bool fontMade = false;
    if (!DrawNumberInBox(pixels, state, box, &fontMade)) {
        surface.changed.markAll();
        return false;
    }
    StampRuns(pixels, overlay);
    found.allObjectsMade = found.allObjectsMade && fontMade;
    found.wholeFrame = found.allObjectsMade;
    return true;
}

// DrawAndLearn and DrawNumber over a surface that holds a known frame: the
// overlay and the box found first when they are not kept, the backdrop made
// over the held one, the number drawn with GDI over its box. False in
// `*done` when it cannot go this way (DrawWhole then makes the frame).
FrameOutcome DrawNumberOverHeld(KeptSurface& surface, const FramePlan& plan, const FrameState& state, bool* done)
{
    *done = false;
    FrameOutcome outcome;
    // What is found first is not found again by DrawWhole.
    if (!BackdropCanBeMadeOverHeld(plan, state)) return outcome;
    FrameFindings& found = outcome.found;
    if (!plan.overlay) {
        if (!plan.findOverlay) return outcome;
        try {
            ByteRuns runs;
            if (!FindLeaderOverlay(state.width, state.height, &runs)) return outcome;
            found.overlay = std::move(runs);
        } catch (const std::bad_alloc&) {
            return outcome;
        }
    }
    const ByteRuns& overlay = plan.overlay ? *plan.overlay : *found.overlay;
    RECT box;
    if (plan.box) {
        box = *plan.box;
    } else {
        if (!plan.findBox || !FindNumberBox(state.width, state.height, state.number, &box)) return outcome;
        found.box = box;
    }
    BackdropOverHeld backdrop;
    if (!MakeBackdropOverHeld(surface, plan, state, &backdrop)) return outcome;
    *done = true;
    found.allObjectsMade = true;
    found.backdrop = std::move(backdrop.found);
    // No section for the picture of the box: no frame.
    outcome.made =
        DrawTheNumber(surface, plan, state, found.backdrop ? *found.backdrop : *backdrop.runs, overlay, box, found);
    return outcome;
}

// The picture of the box, or DrawWhole's section, is the frame's DC and
// section: without them no frame is made.
FrameOutcome DrawNumberWay(KeptSurface& surface, const FramePlan& plan, const FrameState& state)
{
    bool done = false;
    FrameOutcome outcome = DrawNumberOverHeld(surface, plan, state, &done);
    return done ? std::move(outcome) : DrawWhole(surface, plan, state);
}

// Lays the number from its pictures (only where the backdrop changed, when
// the surface holds this number laid over another backdrop) and stamps the
// overlay where needed; LayAndCheck then compares the box with GDI's
// drawing. The backdrop is made first over the held frame, or stamped whole.
FrameOutcome Lay(KeptSurface& surface, const FramePlan& plan, const FrameState& state)
{
    FrameOutcome outcome;
    if (!FrameCanHaveItsDcAndSection()) return outcome;
    FrameFindings& found = outcome.found;
    uint8_t* pixels = surface.pixels();

    BackdropOverHeld backdrop;
    const bool overHeld = MakeBackdropOverHeld(surface, plan, state, &backdrop);
    if (!overHeld) {
        if (!plan.backdrop) return DrawWhole(surface, plan, state);  // nothing to lay over
        surface.changed.markAll();
        StampRuns(pixels, *plan.backdrop);
        backdrop.runs = plan.backdrop;
    }
    outcome.made = true;
    found.allObjectsMade = true;
    found.backdrop = std::move(backdrop.found);
    const ByteRuns& runs = found.backdrop ? *found.backdrop : *backdrop.runs;
    const RECT& box = *plan.box;

    FrameWay way = plan.way;
    bool overOneGrey = plan.overOneGrey;
    if (plan.settledByBackdrop) {
        overOneGrey = GreysInBox(runs, state.width, state.height, box) < 2;
        way = SettleNumberWay(plan.verdictOverOneGrey, plan.verdictOverGreys, overOneGrey);
    }
    if (way == FrameWay::DrawNumber) {
        // Now known to be a laying that differs (only a backdrop painted
        // over the held frame is settled here): drawn with GDI instead.
        outcome.made = DrawTheNumber(surface, plan, state, runs, *plan.overlay, box, found);
        return outcome;
    }

    // Over the same number laid, the number is laid again only where the
    // backdrop was written; otherwise the held number goes and the whole box
    // is laid.
    const bool onlyTheDifference = overHeld && plan.laidUnder;
    const ByteRuns& laying = onlyTheDifference ? backdrop.rewritten : runs;
    if (!onlyTheDifference && overHeld) {
        MarkBoxChanged(surface.changed, *plan.heldBox);
        MarkBoxChanged(surface.changed, box);
        StampRunsInBox(pixels, runs, state, *plan.heldBox);
    }
    if (!LayNumber(pixels, state.width, state.height, laying, state.number, box, *plan.pictures, found.pictures)) {
        found.allObjectsMade = false;
        outcome.layingFailed = true;
        return outcome;
    }
    if (onlyTheDifference)
        StampRunsWithin(pixels, *plan.overlay, laying);
    else
        StampRuns(pixels, *plan.overlay);
    found.wholeFrame = true;
    if (way == FrameWay::Lay) {
        found.laidWhole = true;
        return outcome;
    }
    const LaidFrameCheck check =
        CheckLaidBox(pixels, state.width, state.height, state.number, box, runs, *plan.overlay);
    if (check == LaidFrameCheck::CannotBeMade) {
        found.allObjectsMade = false;
        found.wholeFrame = false;
        outcome.layingFailed = true;
        return outcome;
    }
    found.check = check == LaidFrameCheck::Same ? FrameFindings::Check::GivesGdisFrame
                                                : FrameFindings::Check::DiffersFromGdi;
    found.overOneGrey = overOneGrey;
    // After a difference the box holds GDI's drawing, not a laid number.
    found.laidWhole = check == LaidFrameCheck::Same;
    if (check == LaidFrameCheck::Differs) MarkBoxChanged(surface.changed, box);
    return outcome;
}

}  // namespace

FrameOutcome MakeFrame(const FramePlan& plan, KeptSurface* surface, const FrameState& state)
{
    switch (plan.way) {
    case FrameWay::FreshSurface: return PaintOnFreshSurface(state);
    case FrameWay::PaintWhole: return PaintWhole(*surface, state);
    case FrameWay::DrawAndLearn:
    case FrameWay::DrawNumber: return DrawNumberWay(*surface, plan, state);
    case FrameWay::LayAndCheck:
    case FrameWay::Lay: return Lay(*surface, plan, state);
    }
    return {};
}
