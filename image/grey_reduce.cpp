// Placeholder until the grey reduction lands.
#include "image/grey_reduce.h"

void BuildGreyRamp(RgbPalette* palette)
{
    for (int i = 0; i < 256; ++i) palette->entries[i] = {uint8_t(i), uint8_t(i), uint8_t(i)};
}
HGLOBAL ReduceToGrey8(HGLOBAL) { return nullptr; }
