// A long session in one process, as a host that keeps the plug-in loaded all
// day: OK builds and forced preview paints through the real dialog of the
// built DLL. After a warm-up dialog, and then every few dialogs, it prints
// the GDI objects and device contexts the DLL holds, the global blocks and
// locks it holds, and the bytes in use on every heap of the process; the
// figures at the end must be those after the warm-up. It takes minutes, so
// it is not part of the test run:
//     wine build/bin/tovanrel_soak.exe [builds (20)] [paints (10000)]
// Run it without Wine's heap checking for the figures: with WINEDEBUG=warn+heap
// Wine holds freed blocks back for a while, and the heap seems to move.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "image/cpu_features.h"
#include "resources/resource_ids.h"
#include "tests/support/host_harness.h"
#include "tests/support/resource_watch.h"

namespace {

struct HeapUse {
    long long bytes = 0;
    long long blocks = 0;
};

// What is in use on every heap of the process: the process heap (which
// global blocks come from) and the C runtime's.
HeapUse MeasureHeaps()
{
    std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 8);
    heaps.resize(GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data()));
    HeapUse use;
    for (HANDLE heap : heaps) {
        if (!HeapLock(heap)) continue;
        PROCESS_HEAP_ENTRY entry = {};
        while (HeapWalk(heap, &entry)) {
            if (!(entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)) continue;
            use.bytes += entry.cbData;
            ++use.blocks;
        }
        HeapUnlock(heap);
    }
    return use;
}

struct Sample {
    int dialogs;
    size_t gdiObjects;
    size_t globalBlocks;
    int globalLocks;
    HeapUse heap;
};

void Print(const char* when, const Sample& s, long long frames, long long paints)
{
    std::printf("%-8s %7d %8lld %8lld %8zu %8zu %6d %12lld %8lld\n", when, s.dialogs, frames, paints,
                s.gdiObjects, s.globalBlocks, s.globalLocks, s.heap.bytes, s.heap.blocks);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    const int builds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const int paints = argc > 2 ? std::atoi(argv[2]) : 10000;
    const int paintsPerDialog = builds > 0 ? paints / builds : 0;

    TestHost host;
    if (!host.dll()) {
        std::fprintf(stderr, "cannot load tovanrel.dll from beside this program\n");
        return 2;
    }
    host.keepCalls = false;
    GdiObjectWatch gdi(host.module());
    GlobalMemoryWatch memory(host.module());
    long long frames = 0, paintsForced = 0;
    bool everyBuildWhole = true;
    host.duringCall = [&](TestHost&, HostCall& call) {
        if (call.operation == HostOpAddImage) ++frames;
    };

    // One dialog: the settings, the preview painted paintCount times at once
    // (each paint renders a preview frame), then OK: 600 frames from 9.
    // Dialogs alternate between grey and 24-bit output.
    int dialogs = 0;
    auto runDialog = [&](int paintCount) {
        const long long framesBefore = frames;
        host.setPaletteOutput(dialogs % 2 == 0);
        host.setSettings(64, 64, 9, 8)
            .then([&, paintCount](HWND dialog) {
                HWND preview = GetDlgItem(dialog, IDC_PREVIEW);
                for (int i = 0; i < paintCount; ++i) {
                    InvalidateRect(preview, nullptr, FALSE);
                    UpdateWindow(preview);
                }
                paintsForced += paintCount;
            })
            .press(IDOK);
        host.doBuild();
        ++dialogs;
        everyBuildWhole = everyBuildWhole && !host.timedOut() && host.dialogResult() == 1 &&
                          frames - framesBefore == 10 * LeaderFramesPerNumber;
    };
    auto sample = [&] {
        return Sample{dialogs, gdi.liveObjects(), memory.liveBlocks(), memory.heldLocks(), MeasureHeaps()};
    };

    std::printf("processor: %s; %s\n", ProcessorBrand().c_str(),
                ProcessorIsEmulated() ? "emulated: the time in all is the emulator's, not a native figure"
                                      : "native");
    std::printf("%d OK builds of 600 frames (64 x 64) and %d forced preview paints after one warm-up dialog\n",
                builds, paintsPerDialog * builds);
    std::printf("%-8s %7s %8s %8s %8s %8s %6s %12s %8s\n", "after", "dialogs", "frames", "paints", "GDI",
                "blocks", "locks", "heap bytes", "heap blk");
    const DWORD start = GetTickCount();
    runDialog(paintsPerDialog);
    const Sample warm = sample();
    Print("warm-up", warm, frames, paintsForced);
    Sample worst = warm;
    for (int i = 1; i <= builds; ++i) {
        runDialog(paintsPerDialog);
        if (i % 5 != 0 && i != builds) continue;
        const Sample now = sample();
        Print(i == builds ? "end" : "", now, frames, paintsForced);
        if (now.gdiObjects || now.globalBlocks || now.globalLocks) worst = now;
    }
    const Sample end = sample();
    const long long growth = end.heap.bytes - warm.heap.bytes;
    const long long growthBlocks = end.heap.blocks - warm.heap.blocks;
    std::printf("heap growth from warm-up to end: %lld bytes in %lld blocks; %lu ms in all\n", growth,
                growthBlocks, static_cast<unsigned long>(GetTickCount() - start));

    // The heaps may move a little inside the system's own code, but a block
    // lost once per dialog, or a block that grows by 64 bytes per dialog, is a leak.
    const bool heldNothing = !worst.gdiObjects && !worst.globalBlocks && !worst.globalLocks;
    const bool flat = heldNothing && growthBlocks < builds && growth < 64LL * builds && everyBuildWhole;
    std::printf("%s\n", flat ? "no growth" : everyBuildWhole ? "GROWTH" : "A BUILD DID NOT COMPLETE");
    return flat ? 0 : 1;
}
