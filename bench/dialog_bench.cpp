// The plug-in as a host sees it, through its real dialog in the built
// tovanrel.dll: OK builds of 600 frames at 256 x 256 from 9, each in a dialog
// of its own, timed from operation 18 (a build starts) to operation 4 (it is
// finished) and to the first frame; and the dialog's handling of a preview
// paint. The literal reading's countdown, timed in the same run, is the
// baseline of the builds.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "bench/bench.h"
#include "resources/resource_ids.h"
#include "tests/support/host_harness.h"

namespace {

// Whether the host found the built DLL beside this program; says so when not.
bool PluginLoaded(const TestHost& host)
{
    if (host.dll()) return true;
    std::printf("  (cannot load tovanrel.dll from beside this program)\n");
    return false;
}

struct BuildTimes {
    double total = 0, firstFrame = 0, fileObject = 0;
    long long frames = 0;
};

BuildTimes TimeOkBuild(bool palette)
{
    TestHost host;
    host.keepCalls = false;
    host.setPaletteOutput(palette);
    BuildTimes times;
    double start = 0;
    host.duringCall = [&](TestHost&, HostCall& call) {
        const double now = NowMs();
        if (call.operation == HostOpBuildStarting) start = now;
        if (call.operation == HostOpNewFile) times.fileObject = now - start;
        if (call.operation == HostOpAddImage && times.frames++ == 0) times.firstFrame = now - start;
        if (call.operation == HostOpFinish) times.total = now - start;
    };
    host.setSettings(256, 256, 9, palette ? 8 : 80).press(IDOK);
    host.doBuild();
    return times;
}

}  // namespace

BENCH_CASE(DialogBuilds, "dialog builds 600 frames 256x256")
{
    ReportLoad();
    {
        TestHost probe;
        if (!PluginLoaded(probe)) return;
    }
    std::vector<double> totals;
    for (int build = 0; build < 4; ++build) {
        const bool palette = build == 3;
        const BuildTimes t = TimeOkBuild(palette);
        char line[96];
        std::snprintf(line, sizeof line, "OK build %d (%s, %lld frames): operation 18 to 4", build + 1,
                      palette ? "palette" : "24-bit", t.frames);
        Report(line, t.total / 1000.0, "s", palette ? "main 1.562 s" : "main 1.325-1.443 s");
        std::snprintf(line, sizeof line, "OK build %d: operation 18 to the first frame", build + 1);
        Report(line, t.firstFrame, "ms", "target <= 40 ms (main 101-149 ms)");
        std::snprintf(line, sizeof line, "OK build %d: of which before the file object (operation 1)", build + 1);
        Report(line, t.fileObject, "ms", "");
        if (!palette) totals.push_back(t.total);
    }
    const double literal = LiteralCountdownMs();
    Report("literal reading (same run): countdown in all", literal / 1000.0, "s", "main 48.55 s");
    std::sort(totals.begin(), totals.end());
    Report("literal reading / median 24-bit OK build", literal / totals[totals.size() / 2], "x",
           "target >= 80 x (main 34.8 x)");
    ReportLoad();
}

namespace {

// The dialog's own handling of the preview's owner-draw message, timed by a
// window procedure put in front of the dialog's for the length of the run.
WNDPROC g_dialogProc = nullptr;
std::vector<double>* g_drawItemMs = nullptr;

LRESULT CALLBACK TimedDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_DRAWITEM || !g_drawItemMs) return CallWindowProcA(g_dialogProc, window, message, wParam, lParam);
    const double start = NowMs();
    const LRESULT result = CallWindowProcA(g_dialogProc, window, message, wParam, lParam);
    g_drawItemMs->push_back(NowMs() - start);
    return result;
}

double MedianOf(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return times.empty() ? 0.0 : times[times.size() / 2];
}

}  // namespace

BENCH_CASE(DialogPreview, "dialog preview paint")
{
    ReportLoad();
    TestHost host;
    if (!PluginLoaded(host)) return;
    host.keepCalls = false;
    std::vector<double> paints, drawItems;
    RECT area = {};
    host.setSettings(256, 256, 9, 80)
        .then([&](HWND dialog) {
            HWND preview = GetDlgItem(dialog, IDC_PREVIEW);
            GetClientRect(preview, &area);
            g_dialogProc = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrA(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TimedDialogProc)));
            for (int i = 0; i < 1200; ++i) {
                // After two whole countdowns (600 paints), which learn.
                g_drawItemMs = i >= 600 ? &drawItems : nullptr;
                InvalidateRect(preview, nullptr, FALSE);
                const double start = NowMs();
                UpdateWindow(preview);
                if (i >= 600) paints.push_back(NowMs() - start);
            }
            g_drawItemMs = nullptr;
            SetWindowLongPtrA(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_dialogProc));
        })
        .press(IDCANCEL);
    host.doBuild();
    if (paints.empty()) return;
    std::printf("  preview area %ld x %ld (inside its border), 600 paints after 600 that learn\n",
                area.right - area.left - 2, area.bottom - area.top - 2);
    Report("dialog's handling of a preview paint (WM_DRAWITEM): median", MedianOf(drawItems), "ms",
           "target <= 0.4 ms (main 1.00 ms)");
    std::sort(drawItems.begin(), drawItems.end());
    if (!drawItems.empty()) Report("dialog's handling of a preview paint: min", drawItems.front(), "ms", "main 0.88 ms");
    std::sort(paints.begin(), paints.end());
    Report("the control's whole repaint (UpdateWindow): median", paints[paints.size() / 2], "ms", "");
    Report("the control's whole repaint: min", paints.front(), "ms", "");
    Report("the control's whole repaint: max", paints.back(), "ms", "");
}
