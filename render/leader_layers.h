// The leader painter's layers as separate steps, for the frame pipeline: it
// paints the layers that change from frame to frame with GDI and lays the
// rings and crosshair, which never change for a given surface size, from a
// kept copy of their pixels. PaintLeaderFrame is these three in order.
#pragma once

#include <windows.h>

#include <cstdint>

// Background, sweep sector and number.
void PaintLeaderUnderlay(HDC dc, const RECT* rect, int32_t number, int32_t angle);

// The two rings and the crosshair, drawn over whatever lies beneath. Returns
// false when a pen could not be made (the lines then used the selected pen).
bool PaintLeaderOverlay(HDC dc, const RECT* rect);

// Moves the counter on by one frame; returns 0 after the countdown's last
// frame (the counter is then back at (resetNumber, 360)), otherwise 1.
int StepLeaderCounter(int32_t* number, int32_t* angle, int32_t step, int32_t resetNumber);
