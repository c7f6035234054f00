// The length of one row of a DIB: its pixels' bits rounded up to whole
// four-byte words, as GDI and every packed DIB lay rows out.
#pragma once

#include <cstdint>

// In 64 bits so that no size wraps: a 32-bit row 134,217,728 pixels wide is
// 512 MiB, not 0. The width is read as unsigned; callers that may hold a
// negative width clamp it first.
inline uint64_t DibStride(int32_t width, uint32_t bits)
{
    return ((static_cast<uint64_t>(static_cast<uint32_t>(width)) * bits + 31) / 32) * 4;
}
