// A small benchmark registry: each bench/*.cpp registers named cases, and the
// program runs them all (or those matching its argument) and prints figures.
#pragma once

#include <windows.h>

#include "image/cpu_features.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

struct BenchCase {
    const char* name;
    std::function<void()> run;
};

std::vector<BenchCase>& BenchRegistry();

struct BenchRegistrar {
    BenchRegistrar(const char* name, std::function<void()> run) { BenchRegistry().push_back({name, run}); }
};
#define BENCH_CASE(id, name) \
    static void id(); \
    static BenchRegistrar id##_registrar(name, id); \
    static void id()

// Milliseconds from the performance counter.
inline double NowMs()
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Runs body `runs` times and returns the median time of one run in ms.
template <typename Body>
double MedianMs(int runs, Body body)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        double start = NowMs();
        body();
        times.push_back(NowMs() - start);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// One line per figure: name, value, unit, and the target it is held to.
inline void Report(const char* what, double value, const char* unit, const char* target)
{
    std::printf("%-58s %9.3f %-3s  %s\n", what, value, unit, target);
    std::fflush(stdout);
}

// The load average Wine can read from the host, for the report: the machine
// is shared, so every figure is read beside it.
inline void ReportLoad()
{
    char text[64] = {};
    if (FILE* f = std::fopen("Z:\\proc\\loadavg", "r")) {
        if (!std::fgets(text, sizeof text, f)) text[0] = 0;
        std::fclose(f);
    }
    std::printf("  load average (1, 5, 15 min): %s", text[0] ? text : "unknown\n");
    std::fflush(stdout);
}

// The literal reading's countdown from 9 at 256 x 256, grey, in ms: timed
// once per run, the first time it is asked for (it takes more than a
// minute); 0 when the environment sets TOVANREL_BENCH_NO_LITERAL.
double LiteralCountdownMs();

// The first line of a run: the processor, and whether its code was emulated
// (then every time is the emulator's, and only ratios compare with a native run).
inline void PrintProcessor()
{
    std::printf("processor: %s; %s\n", ProcessorBrand().c_str(),
                ProcessorIsEmulated() ? "emulated: times are not native, only their ratios compare"
                                      : "native");
    std::fflush(stdout);
}
