// The learner: the only code that changes what is kept for a size, from
// what a frame reports it found (frame_maker.h). It keeps the layers, boxes,
// pictures and laying verdicts, writes the record of what the kept surface
// holds, and forgets what was learnt from drawn text once text may be drawn
// otherwise. Nothing is kept from a frame whose objects were not all made.
#pragma once

#include "render/frame_maker.h"
#include "render/frame_plan.h"

class FrameCache;
struct KeptFrameSize;

// Learns from one made (or attempted) frame; `kept` is null when nothing is
// kept for its size. Takes what it keeps out of `found`. Never throws.
void LearnFromFrame(KeptFrameSize* kept, const FrameState& state, FrameFindings&& found);

// Drops, for every size, what was learnt from drawn text (the number's
// boxes, pictures and verdicts) and the record of a number laid from them:
// the system's text settings or fonts changed.
void ForgetWhatTextTaught(FrameCache& cache);
