// Turns the countdown's state into one finished frame: painted at four times
// the size on an offscreen 24-bit surface, reduced to 25 % with the filtered
// rescaler, and made 8-bit grey when the caller asks for palette images.
#pragma once

#include <windows.h>

#include <cstdint>

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
HGLOBAL RenderLeaderFrame(const RECT* rect, int32_t* number, int32_t* angle, int32_t step,
                          int32_t resetNumber, FrameFormat format, int32_t* more);

// Between frames the pipeline keeps memory for the two surface sizes used
// last (see frame_cache.h). This releases all of it; callers outside a
// dialog (tests, the benchmark) call it themselves.
void ReleaseKeptFrameMemory();

// Heap and mapped bytes the pipeline keeps now.
size_t KeptFrameMemoryBytes();

// Holds the kept memory for the length of a dialog: when the last holder
// ends (the outermost dialog, since a host may run a nested one from inside
// a callback while the outer build still needs it), it is all released.
class KeptFrameMemoryScope {
public:
    KeptFrameMemoryScope();
    ~KeptFrameMemoryScope();
    KeptFrameMemoryScope(const KeptFrameMemoryScope&) = delete;
    KeptFrameMemoryScope& operator=(const KeptFrameMemoryScope&) = delete;
};
