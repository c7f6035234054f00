// The leader painter's layers as separate steps, for the frame pipeline: it
// paints the number with GDI and lays the opaque layers, which depend only on
// the surface size (and the angle, for the backdrop), from kept copies of
// their pixels. PaintLeaderFrame is these layers in order, then the step.
#pragma once

#include <windows.h>

#include <cstdint>

#include "image/changed_pixels.h"
#include "render/leader_painter.h"

// Background and sweep sector: opaque, covering the whole rectangle. Returns
// false when a brush could not be made.
bool PaintLeaderBackdrop(HDC dc, const RECT* rect, int32_t angle);

// The number, antialiased over what lies beneath. Returns false when the font
// could not be made (the text was then drawn in the device context's font).
bool PaintLeaderNumber(HDC dc, const RECT* rect, int32_t number);

// The two rings and the crosshair, drawn over whatever lies beneath. Returns
// false when a pen could not be made (the lines then used the selected pen).
bool PaintLeaderOverlay(HDC dc, const RECT* rect);

// True when the frame's brushes, pens and font can all be made now (each is
// made and deleted again). A frame laid partly from kept pixels equals the
// painter's only when they can: without them the painter leaves its layers
// undrawn or drawn with whatever the device context held.
bool LeaderObjectsCanBeMade(const RECT* rect, int32_t angle);

// Marks in `region` (sized for the rectangle, which starts at 0, 0) every
// pixel where the backdrop of angle `to` can differ from that of angle
// `from`: the wedge the sweep's moving edge passes between them, widened by
// a few pixels all round (more than GDI's edges wander from the exact
// lines). False, with nothing marked, unless `to` is below `from` by at most
// a right angle (a number's next frames); the whole backdrop can differ then.
bool MarkSweepBetween(const RECT* rect, int32_t from, int32_t to, ChangedPixels* region);

// The three layers in the painter's order: the frame PaintLeaderFrame paints,
// without the step. False when any object could not be made.
bool PaintLeaderLayers(HDC dc, const RECT* rect, int32_t number, int32_t angle);

// Moves the counter on by one frame; false after the countdown's last frame
// (the counter is then back at (resetNumber, 360)).
bool StepLeaderCounter(LeaderCounter& counter, int32_t step, int32_t resetNumber);
