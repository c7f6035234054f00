// What the processor and the operating system let the rescaler use beyond
// SSE2, asked once with CPUID and XGETBV, and whether the processor is an
// emulator's. Builds with MinGW-w64 and MSVC.
#pragma once

#include <string>

// True when the processor has AVX and the system saves the 256-bit registers
// across thread switches (both are needed before any AVX instruction runs).
bool ProcessorHasAvx();

// The processor's brand string (CPUID leaves 0x80000002 to 0x80000004),
// without its padding; empty when the processor has none.
std::string ProcessorBrand();

// True when this program's code is translated by an emulator rather than run
// by the processor: QEMU's TCG, whose hypervisor leaf (0x40000000) answers
// "TCGTCGTCGTCG" and whose brand string begins "QEMU TCG". Times measured so
// are no native figures; ratios of two routes timed in one run still hold.
bool ProcessorIsEmulated();
