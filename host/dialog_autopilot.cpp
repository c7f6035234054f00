// The unattended driver of the plug-in's dialog.
#include "host/dialog_autopilot.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/interrupt.h"
#include "host/output_file.h"
#include "resources/resource_ids.h"
#include "win/dib_canvas.h"

namespace {

DialogAutopilot* g_autopilot = nullptr;

constexpr UINT kTickMs = 50;
// How long a pressed button may go without its build or help request before
// the run is given up: 30 s.
constexpr int kPatienceTicks = 600;
// How long the preview runs before a picture of the dialog is taken: 1.5 s.
constexpr int kPictureTicks = 30;

const char kDialogClass[] = "#32770";
const char kPluginCaption[] = "Velmora Leader";
const char kMessageCaption[] = "Message";

struct FoundWindows {
    std::vector<HWND> windows;
    const char* caption;
};

BOOL CALLBACK CollectDialog(HWND window, LPARAM param)
{
    auto* found = reinterpret_cast<FoundWindows*>(param);
    char className[32] = {};
    char caption[128] = {};
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, caption, sizeof caption);
    if (lstrcmpA(className, kDialogClass) == 0 && lstrcmpA(caption, found->caption) == 0 &&
        IsWindowVisible(window))
        found->windows.push_back(window);
    return TRUE;
}

std::vector<HWND> ThreadDialogs(const char* caption)
{
    FoundWindows found{{}, caption};
    EnumThreadWindows(GetCurrentThreadId(), CollectDialog, reinterpret_cast<LPARAM>(&found));
    return found.windows;
}

BOOL CALLBACK LongestStaticText(HWND child, LPARAM param)
{
    auto* text = reinterpret_cast<std::string*>(param);
    char className[32] = {};
    GetClassNameA(child, className, sizeof className);
    if (lstrcmpiA(className, "Static") == 0) {
        char buffer[1024] = {};
        GetWindowTextA(child, buffer, sizeof buffer);
        if (lstrlenA(buffer) > static_cast<int>(text->size())) *text = buffer;
    }
    return TRUE;
}

// The range of an edit, as the dialog keeps it: "minimum,maximum,default" in
// the window text of its up-down control, whose id is the edit's plus
// RANGE_CONTROL_OFFSET.
bool ReadRange(HWND dialog, int editId, long& minimum, long& maximum)
{
    char text[261] = {};
    GetDlgItemTextA(dialog, editId + RANGE_CONTROL_OFFSET, text, sizeof text);
    char* end = nullptr;
    minimum = std::strtol(text, &end, 10);
    if (end == text || *end != ',') return false;
    const char* second = end + 1;
    maximum = std::strtol(second, &end, 10);
    return end != second;
}

}  // namespace

DialogAutopilot::DialogAutopilot(const HostOptions& options, HostSession& session)
    : options_(options), session_(session)
{
}

DialogAutopilot::~DialogAutopilot() { Stop(); }

bool DialogAutopilot::Start()
{
    g_autopilot = this;
    timer_ = SetTimer(nullptr, 0, kTickMs, OnTimer);
    return timer_ != 0;
}

void DialogAutopilot::Stop()
{
    if (timer_) KillTimer(nullptr, timer_);
    timer_ = 0;
    if (g_autopilot == this) g_autopilot = nullptr;
}

void CALLBACK DialogAutopilot::OnTimer(HWND, UINT, UINT_PTR, DWORD)
{
    if (g_autopilot && !g_autopilot->inTick_) {
        g_autopilot->inTick_ = true;
        g_autopilot->Tick();
        g_autopilot->inTick_ = false;
    }
}

bool DialogAutopilot::AnswerMessageBoxes()
{
    std::vector<HWND> boxes = ThreadDialogs(kMessageCaption);
    for (HWND box : boxes) {
        // A box already answered may still be on its way out.
        if (GetPropA(box, "leaderhost.answered")) continue;
        SetPropA(box, "leaderhost.answered", reinterpret_cast<HANDLE>(1));
        std::string text;
        EnumChildWindows(box, LongestStaticText, reinterpret_cast<LPARAM>(&text));
        session_.NotePluginMessage(text.empty() ? "(a message without text)" : text);
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
    return !boxes.empty();
}

void DialogAutopilot::Press(int id)
{
    HWND button = GetDlgItem(dialog_, id);
    PostMessageA(dialog_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

void DialogAutopilot::PressChosenButton()
{
    buildsBefore_ = session_.buildsStarted();
    helpsBefore_ = session_.helpRequests();
    ticksWaited_ = 0;
    switch (options_.press) {
    case DialogButton::Ok:
        Press(IDOK);
        stage_ = Stage::Done;
        break;
    case DialogButton::Cancel:
        Press(IDCANCEL);
        stage_ = Stage::Done;
        break;
    case DialogButton::Test:
        Press(IDC_TEST);
        stage_ = Stage::AwaitButton;
        break;
    case DialogButton::Help:
        Press(IDC_HELP_BUTTON);
        stage_ = Stage::AwaitButton;
        break;
    }
}

void DialogAutopilot::TakePicture()
{
    // The dialog's window surface, frame and controls as they are on screen,
    // copied into a 24-bit DIB section after a complete repaint.
    RECT bounds;
    GetWindowRect(dialog_, &bounds);
    const int width = bounds.right - bounds.left, height = bounds.bottom - bounds.top;
    const BITMAPINFOHEADER header = Rgb24Header(width, height);

    std::string why = "cannot make a drawing surface";
    bool ok = false;
    // Focus on the default button keeps an edit's caret out of the picture.
    SendMessageA(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog_, IDOK)), TRUE);
    RedrawWindow(dialog_, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    const WindowDc screen = WindowDc::Whole(dialog_);
    const DibCanvas surface = screen ? DibCanvas(header, screen.get()) : DibCanvas();
    if (surface) {
        if (BitBlt(surface.dc(), 0, 0, width, height, screen.get(), 0, 0, SRCCOPY)) {
            GdiFlush();
            BITMAPFILEHEADER file = {};
            file.bfType = 0x4D42;  // "BM"
            file.bfOffBits = sizeof file + sizeof header;
            file.bfSize = file.bfOffBits + header.biSizeImage;
            ok = WriteFileAtomically(
                options_.picturePath,
                [&](ByteSink& sink) {
                    return sink.Write(&file, sizeof file) && sink.Write(&header, sizeof header) &&
                           sink.Write(surface.bits(), header.biSizeImage);
                },
                why);
        } else {
            why = "the dialog's pixels cannot be read";
        }
    }
    if (ok)
        std::printf("wrote %s: the dialog, %d x %d\n", options_.picturePath.c_str(), width, height);
    else
        session_.NoteFailure("cannot take a picture of the dialog: " + why);
    std::fflush(stdout);
}

void DialogAutopilot::CloseAfterStop()
{
    // The plug-in's message boxes first: its dialog ends only when they have.
    if (AnswerMessageBoxes()) return;
    // A build refuses its next frame, ends, and then comes back here.
    if (session_.callbackDepth() > 0) return;
    for (HWND dialog : ThreadDialogs(kPluginCaption)) {
        if (IsWindowEnabled(dialog))
            PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
    }
}

// Types value into an edit and says, in one line, when the plug-in will clamp
// it to its range. Returns the value the plug-in will use.
int DialogAutopilot::TypeNumber(int editId, const char* option, const DialogNumber& number, int value)
{
    SetDlgItemInt(dialog_, editId, static_cast<UINT>(value), TRUE);
    long minimum = 0, maximum = 0;
    if (!ReadRange(dialog_, editId, minimum, maximum) || (value >= minimum && value <= maximum))
        return value;
    const long used = value < minimum ? minimum : maximum;
    session_.SayOnStderr(std::string(option) + " " +
                         (number.text.empty() ? std::to_string(value) : number.text) +
                         " is outside the plug-in's range " + std::to_string(minimum) + " to " +
                         std::to_string(maximum) + ": it will use " + std::to_string(used));
    return static_cast<int>(used);
}

void DialogAutopilot::Tick()
{
    if (InterruptSignal()) {
        CloseAfterStop();
        return;
    }
    if (!options_.unattended) return;
    if (AnswerMessageBoxes()) return;
    // While a callback runs, the plug-in is inside a command: wait for it.
    if (session_.callbackDepth() > 0) return;

    switch (stage_) {
    case Stage::FindDialog: {
        std::vector<HWND> dialogs = ThreadDialogs(kPluginCaption);
        if (dialogs.empty() || !IsWindowEnabled(dialogs[0])) {
            if (++ticksWaited_ > kPatienceTicks) {
                session_.NoteFailure("the plug-in's dialog did not appear");
                stage_ = Stage::Done;
            }
            return;
        }
        dialog_ = dialogs[0];
        TypeNumber(IDC_WIDTH, "--width", options_.width, options_.width.value);
        TypeNumber(IDC_HEIGHT, "--height", options_.height, options_.height.value);
        TypeNumber(IDC_START_NUMBER, "--start", options_.startNumber, options_.startNumber.value);
        const int delay = TypeNumber(IDC_DELAY, "--delay", options_.delay, EffectiveDelay(options_));
        if (options_.paletteImages && delay < 2)
            session_.SayOnStderr("a GIF delay of " + std::to_string(delay) +
                                 " hundredth of a second plays at 10 frames a second in common "
                                 "players and browsers; 2 is the shortest they play as given");
        ticksWaited_ = 0;
        if (options_.picturePath.empty()) {
            PressChosenButton();
        } else {
            stage_ = Stage::TakePicture;
        }
        return;
    }
    case Stage::TakePicture:
        // Let the preview's sweep move on a little before the picture.
        if (++ticksWaited_ < kPictureTicks) return;
        TakePicture();
        PressChosenButton();
        return;
    case Stage::AwaitButton: {
        // The command has run once its operation arrived and no callback or
        // message box is active any more: the timer only comes through the
        // dialog's own loop then.
        bool answered = options_.press == DialogButton::Test
                            ? session_.buildsStarted() > buildsBefore_
                            : session_.helpRequests() > helpsBefore_;
        if (!answered && ++ticksWaited_ <= kPatienceTicks) return;
        if (!answered) session_.NoteFailure("the plug-in did not react to its button");
        stage_ = Stage::PressCancel;
        return;
    }
    case Stage::PressCancel:
        if (IsWindow(dialog_) && IsWindowEnabled(dialog_)) Press(IDCANCEL);
        stage_ = Stage::Done;
        return;
    case Stage::Done:
        return;
    }
}
