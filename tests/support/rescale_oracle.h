// The plain reading of the rescaler and the grey reduction, pixel by pixel
// through the bounds-checked accessors: the reference the fast code in
// image/ is compared with, byte for byte, by the tests and the benchmark.
#pragma once

#include <windows.h>

#include <cstdint>

// Same contract as RescaleDib, without its fault handling subtleties.
HGLOBAL OracleRescaleDib(HGLOBAL source, int32_t newWidth, int32_t newHeight, int32_t filterIndex,
                         double blur);

// Same contract as ReduceToGrey8 for 24- and 32-bit sources.
HGLOBAL OracleReduceToGrey8(HGLOBAL source);

