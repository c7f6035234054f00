// Owner-drawn looks for the settings dialog's push buttons: soft edge, bevel
// or glass, chosen by the host's skin style.
#pragma once

#include <windows.h>

#include <cstdint>

// The dialog's skin hook: remembers the style and skins the four push
// buttons (OK, Cancel, Help, Test). Style 0 leaves them as they are.
void ApplyButtonSkinHook(HWND dialog, int32_t skinStyle);
