// Placeholder until the button skin lands.
#include "ui/button_skin.h"

void ApplyButtonSkinHook(HWND, int32_t) {}
