// The settings dialog: four ranged edits, a live preview of the leader and
// the OK, Cancel, Test and Help buttons. The procedure only dispatches; the
// builds themselves run in the build driver.
#include "plugin/settings_dialog.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>

#include "plugin/build_driver.h"
#include "plugin/module_state.h"
#include "plugin/ranged_items.h"
#include "plugin/settings_file.h"
#include "render/frame_pipeline.h"
#include "render/leader_painter.h"
#include "resources/resource_ids.h"
#include "ui/button_skin.h"
#include "win/gdi_owners.h"

namespace {

constexpr UINT_PTR kPreviewTimer = 10;
constexpr UINT kPreviewPeriodMs = 50;
constexpr int32_t kPreviewResetNumber = 9;
constexpr int kRangeTextLimit = 260;

const char kInternalError[] = "Internal error";
const char kHelpFailed[] = "There has been an error accessing the Help for this plugin.";
const char kHelpDocument[] = "TOVANREL.HTML";
const char kPaletteDelayRange[] = "1,100,8";
const char kTrueColourDelayRange[] = "1,1000,80";

// True while an OK or Test build runs. The host's callback may let messages
// through, so the buttons can be pressed again meanwhile; a nested build or
// ending the dialog in mid-build would interleave operations on the host's
// file objects, so those commands are ignored until the build is over.
bool g_buildRunning = false;

class BuildRunningScope {
public:
    BuildRunningScope() { g_buildRunning = true; }
    ~BuildRunningScope() { g_buildRunning = false; }
    BuildRunningScope(const BuildRunningScope&) = delete;
    BuildRunningScope& operator=(const BuildRunningScope&) = delete;
};

// The host callback of the running dialog, or null when there is none: a
// null HostContext counts as a missing callback and is never read.
HostCallback CurrentCallback()
{
    const HostContext* context = CurrentHostContext();
    return context ? context->callback : nullptr;
}

void CentreOnScreen(HWND dialog)
{
    RECT r;
    if (!GetWindowRect(dialog, &r)) return;
    int x = (GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left)) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - (r.bottom - r.top)) / 2;
    SetWindowPos(dialog, HWND_TOP, x, y, 0, 0, SWP_NOSIZE);
}

// Gives each up-down the range and default held in its own window text;
// setting the position also writes the default into the buddy edit.
void ApplyRangeCaptions(HWND dialog)
{
    const int spins[] = {IDC_WIDTH_SPIN, IDC_DEPTH_SPIN, IDC_START_NUMBER_SPIN, IDC_DELAY_SPIN};
    for (int id : spins) {
        char text[kRangeTextLimit + 1] = "";
        GetDlgItemTextA(dialog, id, text, sizeof text);
        // These start values mark a number the text does not give.
        int minimum = -32767, maximum = 32767, fallback = -32767;
        std::sscanf(text, "%d,%d,%d", &minimum, &maximum, &fallback);
        HWND spin = GetDlgItem(dialog, id);
        if (!spin) continue;
        if (minimum != -32767 && maximum != 32767)
            SendMessageA(spin, UDM_SETRANGE32, static_cast<WPARAM>(minimum), static_cast<LPARAM>(maximum));
        if (fallback != -32767) SendMessageA(spin, UDM_SETPOS32, 0, static_cast<LPARAM>(fallback));
    }
}

// Returns what the dialog procedure returns for the initialisation message.
INT_PTR InitialiseDialog(HWND dialog, const HostContext* context)
{
    SetCurrentHostContext(context);
    ApplyButtonSkinHook(dialog, context ? context->skinStyle : 0);
    if (!CurrentCallback()) {
        ShowPluginMessage(dialog, kInternalError);
        EndDialog(dialog, 0);
        return FALSE;
    }
    *PreviewCounter() = LeaderCounter{kPreviewResetNumber, 360};
    CentreOnScreen(dialog);
    SetDlgItemTextA(dialog, IDC_DELAY_SPIN,
                    HostWantsPaletteImages() ? kPaletteDelayRange : kTrueColourDelayRange);
    ApplyRangeCaptions(dialog);
    LoadSettingsHook(dialog);
    SetTimer(dialog, kPreviewTimer, kPreviewPeriodMs, nullptr);
    return FALSE;  // leave the keyboard focus where it is
}

// Copies a packed DIB onto the device context at (x, y), at its own size,
// through a device-dependent bitmap. Releases everything it made on every path.
void BlitPackedDib(HDC dc, int x, int y, HGLOBAL block)
{
    auto* header = static_cast<BITMAPINFOHEADER*>(GlobalLock(block));
    if (!header) return;
    const BYTE* bits = reinterpret_cast<const BYTE*>(header) + header->biSize +
                       (header->biBitCount <= 8 ? (4u << header->biBitCount) : 0u);
    GdiBitmap bitmap(CreateDIBitmap(dc, header, CBM_INIT, bits,
                                    reinterpret_cast<const BITMAPINFO*>(header), DIB_RGB_COLORS));
    if (bitmap) {
        HDC memory = CreateCompatibleDC(dc);
        if (memory) {
            {
                SelectionScope selected(memory, bitmap.get());
                BitBlt(dc, x, y, header->biWidth, std::abs(header->biHeight), memory, 0, 0, SRCCOPY);
            }
            DeleteDC(memory);
        }
    }
    GlobalUnlock(block);
}

// Draws the preview: a border in the button-shadow colour, then the next
// frame of the module-wide preview countdown inside it.
void PaintPreview(const DRAWITEMSTRUCT* item)
{
    RECT area = item->rcItem;
    FrameRect(item->hDC, &area, GetSysColorBrush(COLOR_BTNSHADOW));
    InflateRect(&area, -1, -1);
    LeaderCounter* counter = PreviewCounter();
    int32_t more = 0;  // the preview ignores the end of the countdown and goes round again
    const FrameFormat format = HostWantsPaletteImages() ? FrameFormat::GreyPalette : FrameFormat::TrueColour;
    HGLOBAL block = RenderLeaderFrame(&area, &counter->number, &counter->angle, LeaderSweepStep,
                                      kPreviewResetNumber, format, &more);
    if (!block) return;
    BlitPackedDib(item->hDC, area.left, area.top, block);
    GlobalFree(block);
}

void RunOkBuild(HWND dialog, HostCallback callback)
{
    {
        BuildRunningScope running;
        RunLeaderBuild(dialog, callback, BuildKind::Ok);
        SaveSettingsHook(dialog);
    }
    EndDialog(dialog, 1);
}

void RunTestBuild(HWND dialog, HostCallback callback)
{
    BuildRunningScope running;
    RunLeaderBuild(dialog, callback, BuildKind::Test);
}

void ShowHelp(HWND dialog, HostCallback callback)
{
    BuildRunningScope running;  // the host may pump messages while it shows the help
    if (!callback(nullptr, HostOpShowHelp, 0, const_cast<char*>(kHelpDocument)))
        ShowPluginMessage(dialog, kHelpFailed);
}

void OnCommand(HWND dialog, int id)
{
    if (g_buildRunning) return;
    HostCallback callback = CurrentCallback();
    switch (id) {
    case IDOK:
        if (callback) RunOkBuild(dialog, callback);
        break;
    case IDC_TEST:
        if (callback) RunTestBuild(dialog, callback);
        break;
    case IDC_HELP_BUTTON:
        if (callback) ShowHelp(dialog, callback);
        break;
    case IDCANCEL:
        EndDialog(dialog, 0);
        break;
    default:
        break;
    }
}

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return InitialiseDialog(dialog, reinterpret_cast<const HostContext*>(lParam));
    case WM_DRAWITEM: {
        auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (item && item->CtlType == ODT_BUTTON && item->CtlID == IDC_PREVIEW) {
            PaintPreview(item);
            return TRUE;
        }
        return FALSE;
    }
    case WM_TIMER:
        if (wParam == kPreviewTimer) InvalidateRect(GetDlgItem(dialog, IDC_PREVIEW), nullptr, FALSE);
        return FALSE;
    case WM_COMMAND:
        OnCommand(dialog, LOWORD(wParam));
        return FALSE;
    case WM_DESTROY:
        KillTimer(dialog, kPreviewTimer);
        return FALSE;
    default:
        return FALSE;
    }
}

}  // namespace

INT_PTR RunSettingsDialog(HWND hostWindow, HostContext* context)
{
    // The up-down class belongs to the common controls, which the host should
    // have registered; registering it here as well costs nothing and keeps the
    // dialog working in a host that did not.
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&controls);

    KeptFrameMemoryScope keptFrames;  // released when the outermost dialog ends
    INT_PTR result = DialogBoxParamA(PluginModule(), MAKEINTRESOURCEA(IDD_SETTINGS), hostWindow,
                                     SettingsDialogProc, reinterpret_cast<LPARAM>(context));
    SetCurrentHostContext(nullptr);
    return result;
}
