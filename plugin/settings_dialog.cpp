// The settings dialog: four ranged edits, a live preview of the leader and
// the OK, Cancel, Test and Help buttons. The procedure only dispatches; the
// builds themselves run in the build driver.
#include "plugin/settings_dialog.h"

#include <commctrl.h>

#include <cstdlib>

#include "image/packed_dib.h"
#include "plugin/build_driver.h"
#include "plugin/module_state.h"
#include "plugin/ranged_items.h"
#include "plugin/settings_file.h"
#include "render/frame_cache.h"
#include "render/frame_pipeline.h"
#include "render/leader_painter.h"
#include "resources/resource_ids.h"
#include "ui/button_skin.h"
#include "win/gdi_owners.h"

namespace {

constexpr UINT_PTR kPreviewTimer = 10;
constexpr UINT kPreviewPeriodMs = 50;
constexpr int32_t kPreviewResetNumber = 9;

const char kInternalError[] = "Internal error";
const char kHelpFailed[] = "There has been an error accessing the Help for this plugin.";
const char kHelpDocument[] = "TOVANREL.HTML";
const char kPaletteDelayRange[] = "1,100,8";
const char kTrueColourDelayRange[] = "1,1000,80";

// One running dialog. A host may call PLUGIN17DoBuild again from inside its
// callback (to show a dialog of its own), so one dialog can run inside
// another: each has its own busy state, and each puts back, when it ends,
// the module-wide host context and button style that its start replaced.
class DialogSession {
public:
    DialogSession()
        : outer_(innermost_), depth_(outer_ ? outer_->depth_ + 1 : 1),
          replacedContext_(CurrentHostContext()), replacedSkinStyle_(ButtonSkinStyle())
    {
        innermost_ = this;
    }
    ~DialogSession()
    {
        SetCurrentHostContext(replacedContext_);
        SetButtonSkinStyle(replacedSkinStyle_);
        innermost_ = outer_;
    }
    DialogSession(const DialogSession&) = delete;
    DialogSession& operator=(const DialogSession&) = delete;

    // The session whose dialog is being created or runs innermost.
    static DialogSession* Innermost() { return innermost_; }
    // 1 for the outermost dialog, 2 for one run from inside its callback, ...
    int depth() const { return depth_; }

    // What frames keep from one to the next: the outermost dialog's, for its
    // whole life, since a dialog run from inside its callback interrupts
    // its build, which goes on afterwards.
    FrameCache* frames() { return outer_ ? outer_->frames() : &ownFrames_; }

    // True while an OK or Test build or a help request runs. The host's
    // callback may let messages through, so the buttons can be pressed again
    // meanwhile; a second build or ending the dialog in mid-build would
    // interleave operations on the host's file objects, so this dialog's
    // commands are ignored until it is over.
    bool busy = false;

private:
    static DialogSession* innermost_;
    DialogSession* outer_;
    int depth_;
    const HostContext* replacedContext_;
    int32_t replacedSkinStyle_;
    FrameCache ownFrames_;  // used only by the outermost dialog
};

DialogSession* DialogSession::innermost_ = nullptr;

class BusyScope {
public:
    explicit BusyScope(DialogSession* session) : session_(session) { session_->busy = true; }
    ~BusyScope() { session_->busy = false; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    DialogSession* session_;
};

// The session of a dialog, kept in its DWLP_USER slot from its initialisation.
DialogSession* SessionOf(HWND dialog)
{
    return reinterpret_cast<DialogSession*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

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
    // These start values mark a number the text does not give.
    constexpr RangeCaption kAbsent = {-32767, 32767, -32767};
    const int spins[] = {IDC_WIDTH_SPIN, IDC_HEIGHT_SPIN, IDC_START_NUMBER_SPIN, IDC_DELAY_SPIN};
    for (int id : spins) {
        const RangeCaption range = ReadRangeCaption(dialog, id, kAbsent);
        HWND spin = GetDlgItem(dialog, id);
        if (!spin) continue;
        if (range.minimum != kAbsent.minimum && range.maximum != kAbsent.maximum)
            SendMessageA(spin, UDM_SETRANGE32, static_cast<WPARAM>(range.minimum),
                         static_cast<LPARAM>(range.maximum));
        if (range.defaultValue != kAbsent.defaultValue)
            SendMessageA(spin, UDM_SETPOS32, 0, static_cast<LPARAM>(range.defaultValue));
    }
}

// Returns what the dialog procedure returns for the initialisation message.
INT_PTR InitialiseDialog(HWND dialog, const HostContext* context)
{
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(DialogSession::Innermost()));
    SetCurrentHostContext(context);
    ApplyButtonSkin(dialog, context ? context->skinStyle : 0);
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
    LoadSettings(dialog);
    SetTimer(dialog, kPreviewTimer, kPreviewPeriodMs, nullptr);
    return FALSE;  // leave the keyboard focus where it is
}

// Copies a packed DIB onto the device context at (x, y), at its own size,
// through a device-dependent bitmap. Releases everything it made on every path.
void BlitPackedDib(HDC dc, int x, int y, HGLOBAL block)
{
    LockedDib dib(block);
    if (!dib) return;
    const BITMAPINFOHEADER* header = dib.header();
    GdiBitmap bitmap(CreateDIBitmap(dc, header, CBM_INIT, DibPixelBits(header),
                                    reinterpret_cast<const BITMAPINFO*>(header), DIB_RGB_COLORS));
    if (!bitmap) return;
    MemoryDc memory = MemoryDc::CompatibleWith(dc);
    if (!memory) return;
    SelectionScope selected(memory, bitmap.get());
    BitBlt(dc, x, y, header->biWidth, std::abs(header->biHeight), memory, 0, 0, SRCCOPY);
}

// Draws the preview: a border in the button-shadow colour, then the next
// frame of the module-wide preview countdown inside it.
void PaintPreview(const DRAWITEMSTRUCT* item, DialogSession* session)
{
    RECT area = item->rcItem;
    FrameRect(item->hDC, &area, GetSysColorBrush(COLOR_BTNSHADOW));
    InflateRect(&area, -1, -1);
    FrameRequest request;
    request.rect = area;
    request.resetNumber = kPreviewResetNumber;
    request.format = HostWantsPaletteImages() ? FrameFormat::GreyPalette : FrameFormat::TrueColour;
    // The preview ignores the end of the countdown and goes round again.
    const LeaderFrame frame = RenderLeaderFrame(session ? session->frames() : nullptr, request, *PreviewCounter());
    if (frame.block) BlitPackedDib(item->hDC, area.left, area.top, frame.block.get());
}

void RunOkBuild(HWND dialog, DialogSession* session, HostCallback callback)
{
    {
        BusyScope busy(session);
        RunLeaderBuild(dialog, callback, BuildKind::Ok, session->frames());
        SaveSettings(dialog);
    }
    EndDialog(dialog, 1);
}

void RunTestBuild(HWND dialog, DialogSession* session, HostCallback callback)
{
    BusyScope busy(session);
    RunLeaderBuild(dialog, callback, BuildKind::Test, session->frames());
}

void ShowHelp(HWND dialog, DialogSession* session, HostCallback callback)
{
    BusyScope busy(session);  // the host may pump messages while it shows the help
    if (!callback(nullptr, HostOpShowHelp, 0, const_cast<char*>(kHelpDocument)))
        ShowPluginMessage(dialog, kHelpFailed);
}

void OnCommand(HWND dialog, int id)
{
    DialogSession* session = SessionOf(dialog);
    if (!session || session->busy) return;
    HostCallback callback = CurrentCallback();
    switch (id) {
    case IDOK:
        if (callback) RunOkBuild(dialog, session, callback);
        break;
    case IDC_TEST:
        if (callback) RunTestBuild(dialog, session, callback);
        break;
    case IDC_HELP_BUTTON:
        if (callback) ShowHelp(dialog, session, callback);
        break;
    case IDCANCEL:
        EndDialog(dialog, 0);
        break;
    default:
        break;
    }
}

INT_PTR DispatchDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return InitialiseDialog(dialog, reinterpret_cast<const HostContext*>(lParam));
    case WM_DRAWITEM: {
        auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (item && item->CtlType == ODT_BUTTON && item->CtlID == IDC_PREVIEW) {
            PaintPreview(item, SessionOf(dialog));
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
    case WM_SETTINGCHANGE:
    case WM_FONTCHANGE:
        // Text may be drawn otherwise from now on: what was learnt from it goes.
        if (DialogSession* session = SessionOf(dialog)) ForgetWhatFramesLearntFromText(*session->frames());
        return FALSE;
    case WM_DESTROY:
        KillTimer(dialog, kPreviewTimer);
        return FALSE;
    default:
        return FALSE;
    }
}

// Catches everything: between a window procedure and the export that ran the
// dialog lie the system's own frames, which a C++ exception cannot unwind
// through (it would end the host's process). A build that throws has already
// been ended as failed by the build driver.
INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    try {
        return DispatchDialogMessage(dialog, message, wParam, lParam);
    } catch (...) {
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

    // Ending, the session puts back the context and button style that were
    // in force before (none at the outermost dialog); the outermost one
    // releases the frames' kept memory.
    DialogSession session;
    return DialogBoxParamA(PluginModule(), MAKEINTRESOURCEA(IDD_SETTINGS), hostWindow, SettingsDialogProc,
                           reinterpret_cast<LPARAM>(context));
}
