// Turns the countdown's state into one finished frame: painted at four times
// the size on an offscreen 24-bit surface, reduced to 25 % with the filtered
// rescaler, and made 8-bit grey when the caller asks for palette images.
//
// The frame engine in render/, top down (each file includes only its own
// layer and those below; tests/tools/render_layers_test.sh holds it so):
// this pipeline; the learner (frame_learner.h); the maker (frame_maker.h);
// the planner (frame_plan.h, which names every way a frame is made); what
// is kept per size (frame_cache.h, kept_layers.h); finding layers on scratch
// surfaces (layer_learning.h, number_pictures.h); and at the bottom the
// painter, the render target, the kept surface and byte runs.
#pragma once

#include <windows.h>

#include <cstdint>

#include "render/leader_painter.h"
#include "win/kernel_owners.h"

class FrameCache;

// The frames a caller wants: the host's choice, passed in by the build driver
// and the preview.
enum class FrameFormat {
    TrueColour,  // 24 bits per pixel
    GreyPalette  // 8 bits per pixel with the grey ramp as colour table
};

struct FrameRequest {
    RECT rect = {};                    // the frame's; only its width and height count
    int32_t step = LeaderSweepStep;    // degrees the sweep falls per frame
    int32_t resetNumber = 0;           // where the counter goes after the countdown's last frame
    FrameFormat format = FrameFormat::TrueColour;
};

struct LeaderFrame {
    GlobalBlock block;  // the frame as a packed DIB, now the caller's; empty when none was made
    bool more = true;   // false after the countdown's last frame
};

// Makes the frame for `counter` and steps the counter. No frame, with more
// true and the counter unchanged, when the surface cannot be made: a
// rectangle whose width or height is not positive, or too large to be made
// four times larger in 32 bits, or memory, a DC or a section that cannot be
// had. No frame, with the counter stepped and `more` the painter's, when the
// painted frame cannot be rescaled.
//
// With a cache (frame_cache.h: the dialog's), the surface and what was
// learnt of its layers are kept in it from frame to frame; without one, every
// frame is made and freed whole. Either way the frame's bytes and outcomes
// are the same, and every GDI object, DC and global block of a call is
// released before it returns, except the frame handed back.
LeaderFrame RenderLeaderFrame(FrameCache* cache, const FrameRequest& request, LeaderCounter& counter);

// Drops what frames learnt from drawn text: the system's text settings or
// fonts changed (frame_learner.h).
void ForgetWhatFramesLearntFromText(FrameCache& cache);
