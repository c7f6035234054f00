// The system's settings for smoothing text, which decide how GDI draws the
// number's antialiased edges: what is learnt from drawn text holds only
// while they stay as they were.
#pragma once

#include <windows.h>

struct TextSmoothing {
    BOOL on = FALSE;       // SPI_GETFONTSMOOTHING
    UINT type = 0;         // SPI_GETFONTSMOOTHINGTYPE: standard (greyscale) or ClearType
    UINT contrast = 0;     // SPI_GETFONTSMOOTHINGCONTRAST
    UINT orientation = 0;  // SPI_GETFONTSMOOTHINGORIENTATION: RGB or BGR stripes

    bool operator==(const TextSmoothing& other) const
    {
        return on == other.on && type == other.type && contrast == other.contrast &&
               orientation == other.orientation;
    }
    bool operator!=(const TextSmoothing& other) const { return !(*this == other); }
};

// The settings in force now. A setting the system cannot tell reads as 0.
TextSmoothing CurrentTextSmoothing();
