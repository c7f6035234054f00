// How a frame is made, decided before anything is drawn. FrameWay names
// every path a frame can take; PlanFrame picks one from a read-only view of
// what is kept for the frame's size and from the frame's own state, and
// hands over the kept pieces that way relies on. The maker (frame_maker.h)
// carries the plan out; the learner (frame_learner.h) alone changes what is
// kept.
#pragma once

#include <windows.h>

#include <cstdint>

#include "render/byte_runs.h"
#include "render/kept_layers.h"
#include "render/leader_painter.h"
#include "render/text_smoothing.h"

struct KeptFrameSize;

enum class FrameWay {
    // Nothing is kept for the size (no cache, or a surface larger than is
    // kept): the painter on a surface made for the frame, rescaled whole.
    FreshSurface,
    // An object of the frame cannot be made now: the kept surface zeroed and
    // every layer painted with GDI, as on a fresh surface; nothing learnt.
    PaintWhole,
    // The number's box or the overlay is not kept: the number drawn with GDI
    // over its box (found first), the overlay learnt and stamped.
    DrawAndLearn,
    // Laying this number is not known to give GDI's frame (it was found to
    // differ, or its pictures or its check could not be had): the number
    // drawn with GDI over its box. It is also the fallback of a laying that
    // could not be had.
    DrawNumber,
    // This number not yet laid over this many greys at this size: laid from
    // its pictures, then compared with GDI's drawing inside its box.
    LayAndCheck,
    // Laid from kept pixels alone.
    Lay,
};
// In every way but the first two the overlay is stamped, and the backdrop
// is stamped when it is kept; when it is not, it is painted with GDI where
// it can differ from the backdrop the surface holds (or whole when the
// surface holds nothing known) and found for the learner.

// The frame's own state, read when it is about to be made.
struct FrameState {
    int32_t width = 0, height = 0;  // of the 4x surface
    int32_t number = 0, angle = 0;  // the frame's (the counter before it steps)
    bool objectsCanBeMade = false;  // its brushes, pens and font, made and deleted just now
    TextSmoothing smoothing;        // in force now
};

FrameState ReadFrameState(const LeaderCounter& counter, int32_t width, int32_t height);

struct FramePlan {
    FrameWay way = FrameWay::FreshSurface;

    // The kept pieces the way relies on. Lay, LayAndCheck and DrawNumber
    // always have the overlay and the box, and the backdrop when it is kept
    // (a null one is painted with GDI and found); DrawAndLearn has those
    // that are kept; FreshSurface and PaintWhole have none.
    const ByteRuns* backdrop = nullptr;
    const ByteRuns* overlay = nullptr;
    const RECT* box = nullptr;

    // What the kept surface holds (KeptSurface::Holds), when it is known and
    // its layers are kept: its angle and backdrop, its number, that number's
    // box and whether it was laid. The maker paints and marks as changed
    // only where the frame can differ from it; without it, the whole surface.
    const ByteRuns* heldBackdrop = nullptr;
    const RECT* heldBox = nullptr;
    int32_t heldAngle = 0, heldNumber = 0;
    bool heldNumberLaid = false;

    // Lay and LayAndCheck: the pictures kept (of whichever number), and,
    // when the surface holds this number laid from them over another
    // backdrop, that backdrop (heldBackdrop), so that only the difference is
    // laid.
    const NumberPictures* pictures = nullptr;
    const ByteRuns* laidUnder = nullptr;

    // LayAndCheck: whether the box lies over one grey, the verdict it settles.
    bool overOneGrey = false;

    // Lay, LayAndCheck and DrawNumber without a kept backdrop: the way above
    // holds until the maker has the frame's backdrop, and is then settled by
    // SettleNumberWay from these verdicts and the greys under the box.
    bool settledByBackdrop = false;
    KeptLayers::Laying verdictOverOneGrey = KeptLayers::Laying::Unchecked;
    KeptLayers::Laying verdictOverGreys = KeptLayers::Laying::Unchecked;

    // Which missing pieces are to be found for the learner: the backdrop
    // when there is room to keep it (in every way but the first two), the
    // overlay and the box in DrawAndLearn, from a size's second frame on.
    bool findBackdrop = false, findOverlay = false, findBox = false;
};

// The plan for the frame; `kept` is null when nothing is kept for its size.
// Reads, never writes.
FramePlan PlanFrame(const KeptFrameSize* kept, const FrameState& state);

// The way of the number from the verdicts of laying it over one grey and
// over more, and how many greys lie under its box: a verdict still to be
// found is checked (LayAndCheck), a laying that gives GDI's frame is laid,
// one that differs is drawn with GDI.
FrameWay SettleNumberWay(KeptLayers::Laying overOneGrey, KeptLayers::Laying overGreys, bool boxOverOneGrey);

// The plan once a laying planned by PlanFrame could not be had (its pictures,
// or its check's objects): DrawNumber, with the same kept layers. Reads,
// never writes.
FramePlan PlanAfterFailedLaying(const KeptFrameSize* kept, const FrameState& state);
