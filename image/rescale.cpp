// Placeholder until the rescaler lands.
#include "image/rescale.h"

HGLOBAL RescaleDib(HGLOBAL, int32_t, int32_t, int32_t, double) { return nullptr; }
HGLOBAL RescaleDibPercent(HGLOBAL, int32_t, int32_t, int32_t) { return nullptr; }
