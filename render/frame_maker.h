// Carrying a frame's plan out: the one place where a frame is drawn, laid or
// checked. The maker writes pixels (of the kept surface, or of a surface made
// for the frame), marks on the kept surface what it wrote, and reports what
// it found; it changes nothing that is kept (frame_learner.h does, from what
// is reported here).
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>

#include "render/byte_runs.h"
#include "render/frame_plan.h"
#include "render/number_pictures.h"
#include "win/kernel_owners.h"

class KeptSurface;

// What a frame found that may be kept; the learner decides what is.
struct FrameFindings {
    // Every brush, pen and font the frame drew with was made, so that what
    // it shows is GDI's frame.
    bool allObjectsMade = false;
    // The pieces a frame found where it painted them (the backdrop in any
    // way that paints it, the overlay and the box in DrawAndLearn), where
    // they could be had.
    std::optional<ByteRuns> backdrop;  // of the frame's angle, as painted
    std::optional<ByteRuns> overlay;
    std::optional<RECT> box;           // of the frame's number
    // Pictures drawn for a laying (each says whether its font was made).
    NumberPictures pictures;
    // LayAndCheck: what comparing the laying with GDI's drawing found.
    enum class Check { NotMade, GivesGdisFrame, DiffersFromGdi };
    Check check = Check::NotMade;
    bool overOneGrey = false;
    // The surface holds the frame whole, its layers as they are kept or were
    // found: made to its end with every object (KeptSurface::Holds).
    bool wholeFrame = false;
    // The same with the number laid from its pictures (not drawn with GDI,
    // nor replaced by GDI's drawing after a check found a difference).
    bool laidWhole = false;
};

struct FrameOutcome {
    // False when the frame's DC or section could not be had: nothing was
    // painted, and the counter is not to move.
    bool made = false;
    // Lay or LayAndCheck: a picture, a grey or the check's objects could not
    // be had; the surface is partly written, and the frame is to be made by
    // PlanAfterFailedLaying's plan.
    bool layingFailed = false;
    FrameFindings found;
    // FreshSurface: the painted 4x picture, the caller's to rescale.
    GlobalBlock painted;
};

// Makes the frame (state.number, state.angle) by `plan`: on `surface`, which
// is shaped for the state's size, or, for FreshSurface (surface null), on a
// surface made for it. On a kept surface, every pixel the frame may change
// is marked in surface->changed before the frame leaves it. Never throws.
FrameOutcome MakeFrame(const FramePlan& plan, KeptSurface* surface, const FrameState& state);
