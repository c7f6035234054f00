// Separable filtered rescaling of packed DIBs (8, 24 and 32 bits) with a
// table of sixteen kernels; index 0 lets the rescaler choose (Mitchell when
// the area grows, Lanczos-3 otherwise).
#pragma once

#include <windows.h>

#include <cstdint>

// A new block of newWidth x newHeight with the source's depth and colour
// table, or null. The source keeps its contents and its lock count.
HGLOBAL RescaleDib(HGLOBAL source, int32_t newWidth, int32_t newHeight, int32_t filterIndex,
                   double blur);

// Rescales by percentages, each new side rounded to the nearest pixel.
HGLOBAL RescaleDibPercent(HGLOBAL source, int32_t horizontalPercent, int32_t verticalPercent,
                          int32_t filterIndex);
