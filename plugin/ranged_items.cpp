// Placeholder until the ranged edits land.
#include "plugin/ranged_items.h"

int SetRangedItemValue(HWND, int, int32_t) { return 1; }
int32_t GetRangedItemValue(HWND, int) { return 0; }
