// CPUID leaf 1 says whether the processor has AVX (ECX bit 28) and whether
// the system has enabled XGETBV (OSXSAVE, ECX bit 27); XGETBV then reads
// XCR0, whose bits 1 and 2 say that the system saves the XMM and YMM
// registers. A processor with AVX under a system that does not save YMM
// must not run AVX code.
#include "image/cpu_features.h"

#include <cstdint>
#include <cstring>

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

// EAX, EBX, ECX and EDX of a CPUID leaf, asked without checking that the
// processor has it (callers check the leaf's range first).
void Cpuid(uint32_t leaf, uint32_t registers[4])
{
#if defined(_MSC_VER)
    int values[4] = {};
    __cpuid(values, static_cast<int>(leaf));
    for (int i = 0; i < 4; ++i) registers[i] = static_cast<uint32_t>(values[i]);
#elif defined(__GNUC__)
    __cpuid(leaf, registers[0], registers[1], registers[2], registers[3]);
#else
    for (int i = 0; i < 4; ++i) registers[i] = 0;
#endif
}

// ECX of CPUID leaf 1, or 0 when the leaf cannot be asked.
uint32_t FeatureFlags()
{
    uint32_t registers[4];
    Cpuid(0, registers);
    if (registers[0] < 1) return 0;
    Cpuid(1, registers);
    return registers[2];
}

constexpr uint32_t HypervisorPresentBit = 1u << 31;  // ECX of leaf 1

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

std::string ProcessorBrand()
{
    uint32_t registers[4];
    Cpuid(0x80000000u, registers);
    if (registers[0] < 0x80000004u) return std::string();
    char brand[49] = {};
    for (uint32_t leaf = 0; leaf < 3; ++leaf) {
        Cpuid(0x80000002u + leaf, registers);
        std::memcpy(brand + 16 * leaf, registers, 16);
    }
    std::string text(brand);
    const size_t first = text.find_first_not_of(' ');
    const size_t last = text.find_last_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

bool ProcessorIsEmulated()
{
    if (ProcessorBrand().compare(0, 8, "QEMU TCG") == 0) return true;
    if ((FeatureFlags() & HypervisorPresentBit) == 0) return false;
    uint32_t registers[4];
    Cpuid(0x40000000u, registers);
    char vendor[13] = {};
    std::memcpy(vendor, &registers[1], 4);
    std::memcpy(vendor + 4, &registers[2], 4);
    std::memcpy(vendor + 8, &registers[3], 4);
    return std::strcmp(vendor, "TCGTCGTCGTCG") == 0;
}
