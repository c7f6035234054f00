// The frame pipeline with the route that paints its 4x surface chosen by the
// caller, for the tests and the benchmark: every layer drawn with GDI, or the
// opaque layers written from kept bytes (what RenderLeaderFrame always does).
// Both routes deliver the same bytes; the tests hold them against each other.
#pragma once

#include <windows.h>

#include <cstdint>

enum class FrameRoute {
    Plain,        // PaintLeaderFrame on the surface, every layer drawn with GDI
    KeptOverlay,  // backdrop, rings and crosshair from kept bytes (learnt when new); number with GDI
};

struct RenderTarget;

// Paints one frame on a made render target (MM_TEXT) by the route chosen and
// steps the counter; returns what PaintLeaderFrame would.
int PaintRenderTargetBy(FrameRoute route, RenderTarget* target, int32_t* number, int32_t* angle,
                        int32_t step, int32_t resetNumber);

// RenderLeaderFrame with the route chosen; RenderLeaderFrame takes KeptOverlay.
HGLOBAL RenderLeaderFrameBy(FrameRoute route, const RECT* rect, int32_t* number, int32_t* angle,
                            int32_t step, int32_t resetNumber, int32_t* more);
