// Learning the leader's layers from GDI: each layer is drawn by the painter's
// own functions on scratch surfaces, and what it changed is read back. Every
// function here says false when any object it made for the drawing could not
// be made, so that nothing drawn without it is ever kept.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "render/byte_runs.h"

// The largest side learnt: the overlay and the number's box are found on two
// surfaces this big.
constexpr int32_t MaxLearntSide = 0x4000;
bool SideCanBeLearnt(int32_t width, int32_t height);

// The runs of a backdrop painted (and flushed) on a width x height 24-bit
// surface's pixel memory; false (runs empty) when they are too many to be a
// backdrop worth keeping. Throws std::bad_alloc when memory runs out.
bool BackdropRunsOf(const uint8_t* pixels, int32_t width, int32_t height, ByteRuns* runs);

// Finds the rings' and crosshair's bytes for a width x height 24-bit surface
// with a frame rectangle covering it, by drawing them with PaintLeaderOverlay
// on two surfaces of different uniform bytes: exactly the bytes equal in both
// are theirs. False (runs empty) when a surface or pen could not be made.
bool FindLeaderOverlay(int32_t width, int32_t height, ByteRuns* runs);

// Finds the box that the number's text can change on a width x height
// surface: every pixel it gives another value on a black and on a white
// surface, and one pixel more all round, within the surface. The leader's
// backdrops are greys between the two, over which the same coverage changes
// no pixel that it leaves alone on black. False when a surface or the font
// cannot be made, or the text changes nothing.
bool FindNumberBox(int32_t width, int32_t height, int32_t number, RECT* box);

// Draws the number with PaintLeaderNumber, at the coordinates of a width x
// height surface, in a picture of its box: `rows` holds the picture's rows
// (bottom-up, 24-bit) beneath the number on entry and with it on return.
// False when the picture cannot be made (rows unchanged); *fontMade says
// whether the number's font was (without it, the rows are not GDI's number).
bool DrawNumberOver(int32_t width, int32_t height, int32_t number, const RECT& box, std::vector<uint8_t>* rows,
                    bool* fontMade);
