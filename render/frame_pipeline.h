// Turns the countdown's state into one finished frame: painted at four times
// the size on an offscreen 24-bit surface, reduced to 25 % with the filtered
// rescaler, and made 8-bit grey when the caller asks for palette images.
#pragma once

#include <windows.h>

#include <cstdint>

class FrameCache;

// The frames a caller wants: the host's choice, passed in by the build driver
// and the preview.
enum class FrameFormat {
    TrueColour,  // 24 bits per pixel
    GreyPalette  // 8 bits per pixel with the grey ramp as colour table
};

// Returns the frame as a new packed DIB owned by the caller (GlobalFree), or
// null. *more is 1 while the countdown goes on, 0 after its last frame. A
// rectangle whose width or height is not positive, or too large to be made
// four times larger in 32 bits, is a surface that cannot be made: null, *more
// 1, the counter unchanged.
//
// With a cache (frame_cache.h: the dialog's), memory and learnt layers are
// kept in it from frame to frame; without one, every frame is made and freed
// whole. Either way the frame's bytes and outcomes are the same, and every
// GDI object, DC and global block of a call is released before it returns,
// except the frame handed back.
HGLOBAL RenderLeaderFrame(FrameCache* cache, const RECT* rect, int32_t* number, int32_t* angle, int32_t step,
                          int32_t resetNumber, FrameFormat format, int32_t* more);
