#include "tests/support/host_harness.h"

#include <commctrl.h>

#include <cstring>

#include "render/frame_cache.h"
#include "render/frame_pipeline.h"
#include "tests/support/resource_watch.h"

TestHost* TestHost::current_ = nullptr;

namespace {

constexpr UINT kTickMs = 10;
constexpr int kMaxTicks = 6000;            // a dialog left waiting this long is ended
constexpr int kIdleTicksAfterScript = 200;  // grace period once the script is done
constexpr int kMessageTextId = 0xFFFF;     // the text control of a message box

const char kHostClass[] = "TovanrelTestHostWindow";
const char kDialogCaption[] = "Velmora Leader";

struct FindData {
    const char* caption;
    HWND owner;  // null: any
    const std::vector<HWND>* skip;
    HWND found;
};

BOOL CALLBACK FindDialogWindow(HWND window, LPARAM param)
{
    auto* find = reinterpret_cast<FindData*>(param);
    char className[64] = "", title[128] = "";
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, title, sizeof title);
    if (std::strcmp(className, "#32770") != 0 || std::strcmp(title, find->caption) != 0) return TRUE;
    if (find->owner && GetWindow(window, GW_OWNER) != find->owner) return TRUE;
    if (find->skip)
        for (HWND h : *find->skip)
            if (h == window) return TRUE;
    find->found = window;
    return FALSE;
}

}  // namespace

HWND FindThreadDialog(const char* caption, HWND owner, const std::vector<HWND>* skip)
{
    FindData find = {caption, owner, skip, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), FindDialogWindow, reinterpret_cast<LPARAM>(&find));
    return find.found;
}

// ---- HostCall --------------------------------------------------------------

const FileObjectRecord* HostCall::fileObjectRecord() const
{
    return record.size() >= sizeof(FileObjectRecord) ? reinterpret_cast<const FileObjectRecord*>(record.data())
                                                     : nullptr;
}

const FrameRecord* HostCall::frameRecord() const
{
    return record.size() >= sizeof(FrameRecord) ? reinterpret_cast<const FrameRecord*>(record.data()) : nullptr;
}

const BITMAPINFOHEADER* HostCall::frameHeader() const
{
    return frame.size() >= sizeof(BITMAPINFOHEADER) ? reinterpret_cast<const BITMAPINFOHEADER*>(frame.data())
                                                    : nullptr;
}

std::string HostCall::text() const
{
    return record.empty() ? std::string() : std::string(reinterpret_cast<const char*>(record.data()));
}

bool PipelineMakesFrames()
{
    FrameRequest request;
    request.rect = {0, 0, 64, 64};
    request.resetNumber = 9;
    LeaderCounter counter = {9, 360};
    FrameCache cache;
    HGLOBAL frame = RenderLeaderFrame(&cache, request, counter).block.release();
    if (!frame) return false;
    GlobalFree(frame);
    return true;
}

void PumpMessagesFor(DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    MSG msg;
    while (GetTickCount() - start < milliseconds) {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(2);
    }
}

int32_t FrameWidth(const HostCall& call)
{
    const BITMAPINFOHEADER* h = call.frameHeader();
    return h ? h->biWidth : -1;
}

int32_t FrameHeight(const HostCall& call)
{
    const BITMAPINFOHEADER* h = call.frameHeader();
    return h ? h->biHeight : -1;
}

int32_t FrameBits(const HostCall& call)
{
    const BITMAPINFOHEADER* h = call.frameHeader();
    return h ? h->biBitCount : -1;
}

bool FrameHasGreyRamp(const HostCall& call)
{
    const BITMAPINFOHEADER* h = call.frameHeader();
    if (!h || h->biBitCount != 8 || call.frame.size() < h->biSize + 1024) return false;
    const uint8_t* table = call.frame.data() + h->biSize;
    for (int i = 0; i < 256; ++i)
        if (table[4 * i] != i || table[4 * i + 1] != i || table[4 * i + 2] != i || table[4 * i + 3] != 0)
            return false;
    return true;
}

// ---- TestHost --------------------------------------------------------------

TestHost::TestHost()
{
    current_ = this;
    // A real host registers the common controls before it loads plug-ins.
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kHostClass;
    RegisterClassA(&windowClass);  // fails harmlessly when already registered
    hostWindow_ = CreateWindowA(kHostClass, "Test host", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr,
                                nullptr, GetModuleHandleA(nullptr), nullptr);

    context_.size = sizeof context_;
    context_.version = PluginInterfaceVersion;
    context_.callback = &TestHost::Callback;

    if (dll_) {
        messageBoxPatch_ = std::make_unique<ScopedImportPatch>(
            dll_.module(), "user32.dll", "MessageBoxA", reinterpret_cast<void*>(&TestHost::MessageBoxHook));
        dialogBoxPatch_ = std::make_unique<ScopedImportPatch>(
            dll_.module(), "user32.dll", "DialogBoxParamA", reinterpret_cast<void*>(&TestHost::DialogBoxHook));
    }
}

TestHost::~TestHost()
{
    messageBoxPatch_.reset();
    dialogBoxPatch_.reset();
    if (hostWindow_) DestroyWindow(hostWindow_);
    if (current_ == this) current_ = nullptr;
}

TestHost& TestHost::setEdit(int id, const std::string& text)
{
    script_.push_back([id, text](HWND dialog) {
        SetDlgItemTextA(dialog, id, text.c_str());
        return true;
    });
    return *this;
}

TestHost& TestHost::press(int id)
{
    script_.push_back([id](HWND dialog) {
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
        return true;
    });
    return *this;
}

TestHost& TestHost::click(int id)
{
    script_.push_back([id](HWND dialog) {
        PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
        return true;
    });
    return *this;
}

TestHost& TestHost::wait(int ticks)
{
    script_.push_back([left = ticks](HWND) mutable { return --left <= 0; });
    return *this;
}

TestHost& TestHost::then(std::function<void(HWND dialog)> action)
{
    script_.push_back([action](HWND dialog) {
        action(dialog);
        return true;
    });
    return *this;
}

TestHost& TestHost::setSettings(int width, int height, int startNumber, int delay)
{
    return setEdit(101, std::to_string(width))
        .setEdit(102, std::to_string(height))
        .setEdit(103, std::to_string(startNumber))
        .setEdit(106, std::to_string(delay));
}

void TestHost::refuse(int32_t operation, int nth) { refusals_[operation].push_back(nth); }

bool TestHost::refused(int32_t operation)
{
    int count = ++callCounts_[operation];
    auto it = refusals_.find(operation);
    if (it == refusals_.end()) return false;
    for (int nth : it->second)
        if (nth == 0 || nth == count) return true;
    return false;
}

int32_t TestHost::doBuild() { return doBuild(&context_); }

int32_t TestHost::doBuild(HostContext* context, DoBuildFn entry)
{
    current_ = this;
    if (!entry) entry = dll_.doBuild();
    if (!entry) return -1;
    nextStep_ = 0;
    ticks_ = 0;
    idleTicksAfterScript_ = 0;
    UINT_PTR timer = SetTimer(nullptr, 0, kTickMs, &TestHost::Tick);
    int32_t result = entry(hostWindow_, context, 0);
    KillTimer(nullptr, timer);
    // The script belongs to this dialog; the next doBuild starts a new one.
    unrunSteps_ = script_.size() - nextStep_;
    script_.clear();
    return result;
}

std::vector<int32_t> TestHost::operations() const
{
    std::vector<int32_t> ops;
    for (const HostCall& c : calls_) ops.push_back(c.operation);
    return ops;
}

std::vector<const HostCall*> TestHost::callsOf(int32_t operation) const
{
    std::vector<const HostCall*> found;
    for (const HostCall& c : calls_)
        if (c.operation == operation) found.push_back(&c);
    return found;
}

std::vector<std::string> TestHost::messageTexts() const
{
    std::vector<std::string> texts;
    for (const ShownMessage& m : messages_) texts.push_back(m.text);
    return texts;
}

std::string TestHost::ItemText(HWND dialog, int id)
{
    char text[512] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

int32_t __cdecl TestHost::Callback(void* fileObject, int32_t operation, int32_t value, void* data)
{
    TestHost* host = current_;
    ++host->inCallback_;
    HostCall call;
    call.operation = operation;
    call.fileObject = fileObject;
    call.value = value;
    call.data = data;
    call.nestingDepth = host->depth_;

    auto copy = [&call](const void* from, size_t bytes) {
        const auto* b = static_cast<const uint8_t*>(from);
        call.record.assign(b, b + bytes);
    };
    switch (operation) {
    case HostOpNewFile:
    case HostOpNewTestFile:
        if (data) copy(data, sizeof(FileObjectRecord));
        break;
    case HostOpAddImage:
        if (data) {
            copy(data, sizeof(FrameRecord));
            HGLOBAL block = static_cast<const FrameRecord*>(data)->image;
            if (block) {
                call.frameLockCount = LockCount(block);
                SIZE_T size = GlobalSize(block);
                if (const void* bytes = GlobalLock(block)) {
                    call.frame.assign(static_cast<const uint8_t*>(bytes), static_cast<const uint8_t*>(bytes) + size);
                    GlobalUnlock(block);
                }
            }
        }
        break;
    case HostOpAddComment:
    case HostOpShowHelp:
        if (data) copy(data, std::strlen(static_cast<const char*>(data)) + 1);
        break;
    default:
        break;
    }
    HWND dialog = host->dialog_ && IsWindow(host->dialog_) ? host->dialog_ : host->findDialog();
    if (dialog) host->dialog_ = dialog;
    call.dialogEnabled = dialog ? IsWindowEnabled(dialog) != FALSE : true;
    call.result = host->refused(operation) ? 0 : 1;

    size_t index = host->calls_.size();
    host->calls_.push_back(call);
    if (host->duringCall) {
        ++host->depth_;
        host->duringCall(*host, call);
        --host->depth_;
        host->calls_[index].result = call.result;
    }
    if (!host->keepCalls) host->calls_.resize(index);
    --host->inCallback_;
    return call.result;
}

int WINAPI TestHost::MessageBoxHook(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    TestHost* host = current_;
    ShownMessage message;
    message.text = text ? text : "";
    message.caption = caption ? caption : "";
    message.type = type;
    message.owner = owner;
    message.callsBefore = host->calls_.size();
    host->messages_.push_back(message);
    auto real = reinterpret_cast<int(WINAPI*)(HWND, LPCSTR, LPCSTR, UINT)>(host->messageBoxPatch_->original());
    return real(owner, text, caption, type);
}

INT_PTR WINAPI TestHost::DialogBoxHook(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC proc, LPARAM init)
{
    TestHost* host = current_;
    host->dialogInstance_ = instance;
    host->dialogTemplate_ = name;
    host->dialogOwner_ = owner;
    auto real = reinterpret_cast<INT_PTR(WINAPI*)(HINSTANCE, LPCSTR, HWND, DLGPROC, LPARAM)>(
        host->dialogBoxPatch_->original());
    INT_PTR result = real(instance, name, owner, proc, init);
    host->dialogResult_ = result;
    return result;
}

void CALLBACK TestHost::Tick(HWND, UINT, UINT_PTR, DWORD)
{
    if (current_) current_->onTick();
}

HWND TestHost::findDialog() const { return FindThreadDialog(kDialogCaption, hostWindow_); }

// Reads and dismisses every open "Message" box; true when one was open.
bool TestHost::dismissMessageBoxes()
{
    bool any = false;
    while (HWND box = FindThreadDialog("Message", nullptr, &dismissed_)) {
        any = true;
        dismissed_.push_back(box);
        char text[1024] = "";
        GetDlgItemTextA(box, kMessageTextId, text, sizeof text);
        // Pair it with the MessageBoxA call that showed it, if that call was seen.
        ShownMessage* message = nullptr;
        for (ShownMessage& m : messages_)
            if (!m.foundByCaption) {
                message = &m;
                break;
            }
        if (!message) {
            messages_.push_back(ShownMessage{});
            message = &messages_.back();
            message->caption = "Message";
            message->text = text;
            message->callsBefore = calls_.size();
        }
        message->windowText = text;
        message->foundByCaption = true;
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
    return any;
}

void TestHost::onTick()
{
    if (inTick_) return;
    inTick_ = true;
    ++ticks_;
    bool boxOpen = dismissMessageBoxes();
    if (!dialog_ || !IsWindow(dialog_)) {
        if (HWND found = findDialog()) dialog_ = found;
    }
    bool dialogAlive = dialog_ && IsWindow(dialog_);
    // A callback that lets messages through must not have the script run
    // inside it: the script drives the dialog between commands only.
    if (!boxOpen && dialogAlive && inCallback_ == 0) {
        if (nextStep_ < script_.size()) {
            if (script_[nextStep_](dialog_)) ++nextStep_;
        } else if (++idleTicksAfterScript_ > kIdleTicksAfterScript) {
            timedOut_ = true;
            if (idleTicksAfterScript_ == kIdleTicksAfterScript + 1)
                PostMessageA(dialog_, WM_COMMAND, IDCANCEL, 0);
            else if (idleTicksAfterScript_ > 2 * kIdleTicksAfterScript)
                EndDialog(dialog_, -3);
        }
    }
    if (ticks_ > kMaxTicks && dialogAlive) {
        timedOut_ = true;
        EndDialog(dialog_, -3);
    }
    inTick_ = false;
}
