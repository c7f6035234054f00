// The frame pipeline with the way it makes a frame chosen by the caller, for
// the tests and the benchmark (RenderLeaderFrame always takes Kept). Every
// route delivers the same bytes and the same outcomes; the tests hold them
// against each other and the benchmark times them against each other.
#pragma once

#include <windows.h>

#include <cstdint>

#include "render/frame_pipeline.h"

enum class FrameRoute {
    Plain,         // PaintLeaderFrame on a fresh surface, every block made and freed per frame
    FreshSurface,  // the opaque layers from kept pixels, the number with GDI, on a fresh surface
    Kept,          // the same on the kept surface, rescaled straight from it with kept working memory
};

struct RenderTarget;

// Paints one frame on a made render target (MM_TEXT) and steps the counter;
// returns what PaintLeaderFrame would. Plain paints every layer with GDI; the
// other routes lay the kept layers of the target's size where they can.
int PaintRenderTargetBy(FrameRoute route, RenderTarget* target, int32_t* number, int32_t* angle,
                        int32_t step, int32_t resetNumber);

// RenderLeaderFrame by the route chosen; RenderLeaderFrame takes Kept.
HGLOBAL RenderLeaderFrameBy(FrameRoute route, const RECT* rect, int32_t* number, int32_t* angle,
                            int32_t step, int32_t resetNumber, FrameFormat format, int32_t* more);
