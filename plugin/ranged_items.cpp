// Numeric edits whose range is kept in the window text of their up-down
// control as "minimum,maximum,default". Every read and every write clamps to
// that range, so neither the user nor a stored setting can leave it.
#include "plugin/ranged_items.h"

#include <cstdio>

#include "resources/resource_ids.h"

namespace {

// Longest window text read from an up-down or an edit, in characters.
constexpr int kMaxItemText = 260;

// A missing up-down, or a caption that does not parse, leaves 0..100.
RangeCaption ReadItemRange(HWND dialog, int editId)
{
    return ReadRangeCaption(dialog, editId + RANGE_CONTROL_OFFSET, {0, 100, 0});
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The edit's whole text as a decimal number: blanks around it, an optional
// sign (a minus only when signed), at least one digit, and a value that fits
// a 32-bit integer of that kind. Anything else is not a number and reads 0.
int64_t ParseItemNumber(const char* text, bool isSigned)
{
    const char* p = text;
    while (IsBlank(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        if (negative && !isSigned) return 0;
        ++p;
    }
    if (*p < '0' || *p > '9') return 0;
    const int64_t limit = isSigned ? (negative ? 2147483648LL : 2147483647LL) : 4294967295LL;
    int64_t magnitude = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        magnitude = magnitude * 10 + (*p - '0');
        if (magnitude > limit) return 0;
    }
    while (IsBlank(*p)) ++p;
    if (*p != '\0') return 0;
    return negative ? -magnitude : magnitude;
}

}  // namespace

RangeCaption ReadRangeCaption(HWND dialog, int id, RangeCaption start)
{
    char caption[kMaxItemText + 1] = "";
    GetDlgItemTextA(dialog, id, caption, sizeof caption);
    int minimum = start.minimum, maximum = start.maximum, defaultValue = start.defaultValue;
    std::sscanf(caption, "%d,%d,%d", &minimum, &maximum, &defaultValue);
    return {minimum, maximum, defaultValue};
}

int SetRangedItemValue(HWND dialog, int editId, int32_t value)
{
    const RangeCaption range = ReadItemRange(dialog, editId);
    int32_t v = value > range.minimum ? value : range.minimum;
    if (!(v < range.maximum)) v = range.maximum;

    char text[16];
    if (range.minimum < 0)
        std::snprintf(text, sizeof text, "%ld", static_cast<long>(v));
    else
        std::snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(static_cast<uint32_t>(v)));
    SetDlgItemTextA(dialog, editId, text);
    return 1;
}

int32_t GetRangedItemValue(HWND dialog, int editId)
{
    const RangeCaption range = ReadItemRange(dialog, editId);
    const bool isSigned = range.minimum < 0;

    char text[kMaxItemText + 1] = "";
    // A text too long for the buffer would be read cut short, which could
    // turn a number that does not fit into one that does.
    HWND edit = GetDlgItem(dialog, editId);
    int64_t number = 0;
    if (edit && GetWindowTextLengthA(edit) <= kMaxItemText) {
        GetWindowTextA(edit, text, sizeof text);
        number = ParseItemNumber(text, isSigned);
    }

    // Compared as the integer that was read: an unsigned 3000000000 is above
    // the maximum, not a negative number below the minimum.
    if (number < range.minimum) number = range.minimum;
    if (number > range.maximum) return range.maximum;
    return static_cast<int32_t>(number);
}
