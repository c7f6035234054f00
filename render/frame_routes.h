// The ways the frame pipeline can make a frame. RenderLeaderFrame takes Kept
// with a cache and Plain without one; the tests hold every route against the
// others, and the benchmark times Kept against FreshSurface, the former
// lifecycle kept as its baseline. Every route delivers the same bytes and
// the same outcomes.
#pragma once

#include <windows.h>

#include <cstdint>

#include "render/frame_pipeline.h"

enum class FrameRoute {
    Plain,         // PaintLeaderFrame on a fresh surface, every block made and freed per frame
    FreshSurface,  // the opaque layers from the cache's kept pixels, the number with GDI, on a fresh surface
    Kept,          // on the kept surface from the cache's layers, rescaled straight from it (kept_route.h)
};

// The surface is four times the frame each way.
constexpr int32_t SurfaceScale = 4;

class FrameCache;
struct RenderTarget;

// Paints one frame on a made render target (MM_TEXT) and steps the counter;
// returns what PaintLeaderFrame would. Plain paints every layer with GDI; the
// other routes lay the cache's layers of the target's size where they can.
int PaintRenderTargetBy(FrameRoute route, FrameCache* cache, RenderTarget* target, int32_t* number,
                        int32_t* angle, int32_t step, int32_t resetNumber);

// RenderLeaderFrame by the route chosen; routes other than Plain need a cache.
HGLOBAL RenderLeaderFrameBy(FrameRoute route, FrameCache* cache, const RECT* rect, int32_t* number,
                            int32_t* angle, int32_t step, int32_t resetNumber, FrameFormat format, int32_t* more);
