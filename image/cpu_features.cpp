// CPUID leaf 1 says whether the processor has AVX (ECX bit 28) and whether
// the system has enabled XGETBV (OSXSAVE, ECX bit 27); XGETBV then reads
// XCR0, whose bits 1 and 2 say that the system saves the XMM and YMM
// registers. A processor with AVX under a system that does not save YMM
// must not run AVX code.
#include "image/cpu_features.h"

#include <cstdint>

#if defined(_MSC_VER)
#include <immintrin.h>
#include <intrin.h>
#elif defined(__GNUC__)
#include <cpuid.h>
#endif

namespace {

constexpr uint32_t OsXsaveBit = 1u << 27;
constexpr uint32_t AvxBit = 1u << 28;
constexpr uint64_t XmmAndYmmState = 0x6;

// ECX of CPUID leaf 1, or 0 when the leaf cannot be asked.
uint32_t FeatureFlags()
{
#if defined(_MSC_VER)
    int registers[4] = {};
    __cpuid(registers, 0);
    if (registers[0] < 1) return 0;
    __cpuid(registers, 1);
    return static_cast<uint32_t>(registers[2]);
#elif defined(__GNUC__)
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return 0;
    return ecx;
#else
    return 0;
#endif
}

// XCR0; only to be read once OSXSAVE is known to be set.
uint64_t EnabledRegisterState()
{
#if defined(_MSC_VER)
    return _xgetbv(0);
#elif defined(__GNUC__)
    uint32_t low = 0, high = 0;
    // The instruction's bytes, for assemblers that do not know its name.
    __asm__ volatile(".byte 0x0f, 0x01, 0xd0" : "=a"(low), "=d"(high) : "c"(0));
    return (static_cast<uint64_t>(high) << 32) | low;
#else
    return 0;
#endif
}

bool DetectAvx()
{
    const uint32_t flags = FeatureFlags();
    if ((flags & OsXsaveBit) == 0 || (flags & AvxBit) == 0) return false;
    return (EnabledRegisterState() & XmmAndYmmState) == XmmAndYmmState;
}

}  // namespace

bool ProcessorHasAvx()
{
    static const bool usable = DetectAvx();
    return usable;
}
