// What keeps a frame made from kept memory equal to the plain painter's in
// every outcome a host can see, not only in its bytes. Each function names
// the outcome it keeps.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>

#include "image/packed_dib.h"
#include "render/leader_layers.h"
#include "win/dib_canvas.h"

// "A frame without brushes, pens or fonts is the painter's frame": without
// one of them the painter leaves a layer undrawn or drawn with whatever the
// device context held, which no kept layer shows. Kept layers are laid only
// while every object of the frame can be made now (each is made in the
// painter's order and deleted again).
inline bool FrameObjectsCanAllBeMade(const RECT* surface, int32_t angle)
{
    return LeaderObjectsCanBeMade(surface, angle);
}

// "A frame whose DC or DIB section cannot be made is not made: null, more
// 1, the counter unchanged." A frame laid wholly from kept pixels needs
// neither, so it makes a 1 x 1 pair that nothing is drawn on and goes on
// only when it could.
inline bool FrameCanHaveItsDcAndSection() { return static_cast<bool>(DibCanvas(Rgb24Header(1, 1))); }

// "A frame painted with a failing object is what the painter leaves on a
// fresh surface", which starts zeroed: a surface that held an earlier frame
// is zeroed before GDI paints a backdrop on it.
inline void ZeroLikeAFreshSurface(void* pixels, int32_t width, int32_t height)
{
    GdiFlush();
    std::memset(pixels, 0, static_cast<size_t>(height) * static_cast<size_t>(DibStride(width, 24)));
}
