// Numeric edits whose range lives in the window text of their up-down
// control (id + 10000) as "minimum,maximum,default".
#pragma once

#include <windows.h>

#include <cstdint>

// Writes value, clamped to the edit's range, into the edit; returns 1.
int SetRangedItemValue(HWND dialog, int editId, int32_t value);

// Reads the edit as an integer clamped to its range.
int32_t GetRangedItemValue(HWND dialog, int editId);
