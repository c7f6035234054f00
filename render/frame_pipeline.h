// Turns the countdown's state into one finished frame: painted at four times
// the size on an offscreen 24-bit surface, reduced to 25 % with the filtered
// rescaler, and made 8-bit grey when the host wants palette images.
#pragma once

#include <windows.h>

#include <cstdint>

// Returns the frame as a new packed DIB owned by the caller (GlobalFree), or
// null. *more is 1 while the countdown goes on, 0 after its last frame.
HGLOBAL RenderLeaderFrame(const RECT* rect, int32_t* number, int32_t* angle, int32_t step,
                          int32_t resetNumber, int32_t* more);

// Between frames the pipeline keeps the opaque layers of the two surface
// sizes used last (see frame_cache.h). This releases all of it.
void ReleaseKeptFrameMemory();
