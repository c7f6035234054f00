// Paints one frame of the countdown leader into any device context and steps
// the countdown: background, sweep sector, number, two rings, crosshair.
#pragma once

#include <windows.h>

#include <cstdint>

// The countdown's state, owned by the caller: the number shown and the sweep
// angle in whole degrees (360 on the first frame of each number).
struct LeaderCounter {
    int32_t number;
    int32_t angle;
};

// Every caller steps the sweep by 6 degrees, so each number lasts 60 frames.
constexpr int32_t LeaderSweepStep = 6;

// Paints the frame for (*number, *angle) into rect, then advances the counter.
// Returns 1 while more frames follow, 0 after the countdown's last frame (the
// counter is then back at (resetNumber, 360)).
int PaintLeaderFrame(HDC dc, const RECT* rect, int32_t* number, int32_t* angle, int32_t step,
                     int32_t resetNumber);

// Turns point about centre by degrees (clockwise on screen), truncating toward
// zero: where the sweep's moving edge ends. The backdrop's only caller is the
// painter; it is declared here because its truncation is tested on its own.
void RotatePoint(POINT* point, POINT centre, int32_t degrees);
