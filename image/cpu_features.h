// What the processor and the operating system let the rescaler use beyond
// SSE2, asked once with CPUID and XGETBV. Builds with MinGW-w64 and MSVC.
#pragma once

// True when the processor has AVX and the system saves the 256-bit registers
// across thread switches (both are needed before any AVX instruction runs).
bool ProcessorHasAvx();
