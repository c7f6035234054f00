// The kept route: the frame is made on the kept surface of its size from the
// layers learnt there, with GDI drawing only what is not yet kept, and
// rescaled straight from that surface. KeptPlan says which way a frame goes.
#pragma once

#include <windows.h>

#include <cstdint>

class FrameCache;
class KeptLayers;
struct KeptFrameSize;
struct RenderTarget;

enum class KeptPlan {
    // An object of the frame cannot be made now: every layer painted with GDI
    // on a zeroed surface, as the painter does, and nothing learnt.
    PaintWithGdi,
    // A layer, the number's box, or a laying that gives GDI's frame is not
    // kept: the kept layers stamped, the rest painted with GDI, and what the
    // frame shows learnt when all its objects were made.
    DrawAndLearn,
    // Every layer and the box kept, but this number has not yet been laid
    // over this backdrop's greys at this size: laid, then compared with GDI's
    // whole frame, and what was found kept.
    LayAndCheck,
    // Laid from kept pixels alone, with no GDI drawing.
    Lay,
};

// The plan for frame (number, angle) from what `layers` hold; learns nothing.
KeptPlan PlanKeptFrame(const KeptLayers& layers, int32_t number, int32_t angle, bool objectsCanAllBeMade);

// The 24-bit frame made on the kept surface of `kept` (shaped for its
// size), from `cache`. As RenderLeaderFrame: null when the frame's memory,
// DC or section cannot be had.
HGLOBAL RenderOnKeptSurface(FrameCache* cache, KeptFrameSize* kept, int32_t* number, int32_t* angle, int32_t step,
                            int32_t resetNumber, int32_t* more);

// Paints a frame on a made render target covering a whole surface (MM_TEXT)
// from `layers`, stamping what they hold and painting the rest with GDI,
// learning what the frame shows when all its objects were made; with null
// layers, every layer with GDI on the zeroed surface. Steps the counter and
// returns what PaintLeaderFrame would.
int DrawAndLearn(RenderTarget* target, KeptLayers* layers, int32_t* number, int32_t* angle, int32_t step,
                 int32_t resetNumber);
