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
#include "render/leader_painter.h"
#include "render/text_smoothing.h"

struct KeptFrameSize;
class NumberPictures;

enum class FrameWay {
    // Nothing is kept for the size (no cache, or a surface larger than is
    // kept): the painter on a surface made for the frame, rescaled whole.
    FreshSurface,
    // An object of the frame cannot be made now: the kept surface zeroed and
    // every layer painted with GDI, as on a fresh surface; nothing learnt.
    PaintWhole,
    // A layer or the number's box is not kept: what is kept stamped, the
    // rest painted with GDI, and what the frame shows found for the learner.
    DrawAndLearn,
    // Every layer and the box kept, but laying this number is not known to
    // give GDI's frame (it was found to differ, or its pictures or its check
    // could not be had): the layers stamped, the number drawn with GDI. It is
    // also the fallback of a laying that could not be had.
    DrawNumber,
    // Every layer and the box kept, and this number not yet laid over this
    // many greys at this size: laid, then compared with GDI's drawing.
    LayAndCheck,
    // Laid from kept pixels alone, with no GDI drawing.
    Lay,
};

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
    // have all three; DrawAndLearn has those that are kept (a null one is
    // painted with GDI); FreshSurface and PaintWhole have none.
    const ByteRuns* backdrop = nullptr;
    const ByteRuns* overlay = nullptr;
    const RECT* box = nullptr;

    // What the kept surface holds (KeptSurface::Holds), when it is known and
    // its layers are kept: its backdrop and its number's box. The maker
    // marks as changed only where the frame can differ from it; without it,
    // the whole surface.
    const ByteRuns* heldBackdrop = nullptr;
    const RECT* heldBox = nullptr;

    // Lay and LayAndCheck: the pictures kept (of whichever number), and,
    // when the surface holds this number laid from them over another
    // backdrop, that backdrop (heldBackdrop), so that only the difference is
    // laid.
    const NumberPictures* pictures = nullptr;
    const ByteRuns* laidUnder = nullptr;

    // LayAndCheck: whether the box lies over one grey, the verdict it settles.
    bool overOneGrey = false;

    // DrawAndLearn: which missing pieces are wanted (there is room to keep them).
    bool findBackdrop = false, findOverlay = false, findBox = false;
};

// The plan for the frame; `kept` is null when nothing is kept for its size.
// Reads, never writes.
FramePlan PlanFrame(const KeptFrameSize* kept, const FrameState& state);

// The plan once a laying planned by PlanFrame could not be had: DrawNumber,
// with the same kept layers.
FramePlan PlanAfterFailedLaying(const KeptFrameSize* kept, const FrameState& state);
