// Turns a 24-bit frame into an 8-bit grey frame whose colour table is the
// fixed grey ramp (entry i is (i, i, i)).
#pragma once

#include <windows.h>

#include "image/packed_dib.h"

// Fills palette with the grey ramp.
void BuildGreyRamp(RgbPalette* palette);

// A new 8-bit block of the source's size, or null; the source is untouched.
HGLOBAL ReduceToGrey8(HGLOBAL source);
