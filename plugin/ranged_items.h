// Numeric edits whose range lives in the window text of their up-down
// control (id + 10000) as "minimum,maximum,default".
#pragma once

#include <windows.h>

#include <cstdint>

// The three numbers of a range caption.
struct RangeCaption {
    int32_t minimum;
    int32_t maximum;
    int32_t defaultValue;
};

// Reads the window text of the dialog's control id (at most 260 characters)
// as "minimum,maximum,default"; a number the text does not give keeps its
// value from start.
RangeCaption ReadRangeCaption(HWND dialog, int id, RangeCaption start);

// Writes value, clamped to the edit's range, into the edit; returns 1.
int SetRangedItemValue(HWND dialog, int editId, int32_t value);

// Reads the edit as an integer clamped to its range.
int32_t GetRangedItemValue(HWND dialog, int editId);
