// The benchmark program: runs every registered case, or those whose name
// contains the first argument, and prints one line per figure, after one
// that says whether the processor was emulated.
#include <cstring>

#include "bench/bench.h"

std::vector<BenchCase>& BenchRegistry()
{
    static std::vector<BenchCase> cases;
    return cases;
}

int main(int argc, char** argv)
{
    const char* filter = argc > 1 ? argv[1] : "";
    PrintProcessor();
    for (const BenchCase& c : BenchRegistry()) {
        if (std::strstr(c.name, filter) == nullptr) continue;
        std::printf("== %s\n", c.name);
        c.run();
    }
    return 0;
}
