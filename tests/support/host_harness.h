// A test host for tovanrel.dll: loads the built DLL with LoadLibrary the way
// an animation editor does, serves its callback (recording every operation,
// with copies of the records and of every frame block made during the call),
// refuses chosen operations, and drives the real modal dialog from the same
// thread with a thread timer: it sets edits, presses buttons, and finds,
// reads and dismisses the message boxes captioned "Message".
//
// One TestHost at a time. Typical use:
//     TestHost host;
//     host.setEdit(101, "64").press(IDC_TEST).press(IDCANCEL);
//     EXPECT_EQ(host.doBuild(), 1);
//     ... host.calls(), host.messages(), host.dialogResult() ...
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "plugin/host_records.h"
#include "tests/support/import_patch.h"
#include "tests/support/plugin_dll.h"

// One call of the host callback, as the plug-in made it.
struct HostCall {
    int32_t operation = 0;
    void* fileObject = nullptr;
    int32_t value = 0;
    void* data = nullptr;
    // The record or text behind data, copied during the call: the 1069 bytes of
    // the FileObjectRecord (1, 5), the 104 bytes of the FrameRecord (2), the
    // text with its terminator (3, 9).
    std::vector<uint8_t> record;
    // Operation 2: the whole frame block (GlobalSize bytes) and its lock count on entry.
    std::vector<uint8_t> frame;
    unsigned frameLockCount = 0;
    bool dialogEnabled = true;  // whether the dialog window was enabled during the call
    int32_t result = 0;         // what the host answered
    int nestingDepth = 0;       // 0 unless the plug-in called back while another call ran

    const FileObjectRecord* fileObjectRecord() const;  // operations 1 and 5
    const FrameRecord* frameRecord() const;            // operation 2
    const BITMAPINFOHEADER* frameHeader() const;       // operation 2
    std::string text() const;                          // operations 3 and 9
};

// A message box the plug-in showed.
struct ShownMessage {
    std::string text;          // as passed to MessageBoxA
    std::string caption;
    UINT type = 0;             // MB_ flags
    HWND owner = nullptr;
    std::string windowText;    // the text read back from the box's window
    bool foundByCaption = false;
    size_t callsBefore = 0;    // host calls recorded before it was shown
};

class TestHost {
public:
    TestHost();
    ~TestHost();
    TestHost(const TestHost&) = delete;
    TestHost& operator=(const TestHost&) = delete;

    const PluginDll& dll() const { return dll_; }
    HMODULE module() const { return dll_.module(); }
    HWND hostWindow() const { return hostWindow_; }
    // The context handed to PLUGIN17DoBuild: callback set, skin style 0,
    // output flags 0 (24-bit frames). Change fields before doBuild.
    HostContext& context() { return context_; }
    void setPaletteOutput(bool palette) { context_.outputFlags = palette ? HostOutputPaletteImages : 0; }

    // The script, run one step at a time on the dialog once it exists. A step
    // runs only while no message box is open; each press is posted, so the
    // command runs from the dialog's own message loop and the next step waits
    // until it has finished (or shows a message box).
    TestHost& setEdit(int id, const std::string& text);
    TestHost& press(int id);        // posts WM_COMMAND with the control id
    TestHost& click(int id);        // posts BM_CLICK to the button
    TestHost& wait(int ticks);      // lets the dialog run (preview timer) for a while
    TestHost& then(std::function<void(HWND dialog)> action);
    // The settings most tests use: width, height, starting number, delay.
    TestHost& setSettings(int width, int height, int startNumber, int delay);

    // Refuse the nth call (from 1) of an operation in this host's life; 0: every call.
    void refuse(int32_t operation, int nth = 0);
    // Runs inside every callback after the call was recorded, before it returns;
    // it may change call.result. Script steps never run while a callback is on
    // the stack, even when it lets messages through.
    std::function<void(TestHost&, HostCall&)> duringCall;
    // False: calls are seen by duringCall but not kept (a long session).
    bool keepCalls = true;

    // Calls PLUGIN17DoBuild with context() (or the given pointer, which may be
    // null) and runs the script, which it then clears. Calls, messages and
    // refusal counts add up over the host's life. Returns what
    // PLUGIN17DoBuild returned. A given entry is called in place of the
    // export (to run the plug-in code linked into the test program); the
    // DLL's message boxes and dialog result are then not seen.
    int32_t doBuild();
    int32_t doBuild(HostContext* context, DoBuildFn entry = nullptr);

    // What happened.
    const std::vector<HostCall>& calls() const { return calls_; }
    std::vector<int32_t> operations() const;
    std::vector<const HostCall*> callsOf(int32_t operation) const;
    const std::vector<ShownMessage>& messages() const { return messages_; }
    std::vector<std::string> messageTexts() const;
    // The dialog procedure's result as DialogBoxParamA returned it (-2 before any dialog).
    INT_PTR dialogResult() const { return dialogResult_; }
    HWND dialogOwner() const { return dialogOwner_; }
    HINSTANCE dialogInstance() const { return dialogInstance_; }
    const char* dialogTemplate() const { return dialogTemplate_; }
    HWND dialog() const { return dialog_; }
    // True when the script had to be cut short (dialog still open or a hang).
    bool timedOut() const { return timedOut_; }
    int ticks() const { return ticks_; }
    // Script steps the last dialog ended before running.
    size_t unrunSteps() const { return unrunSteps_; }
    // Text of a dialog control, read while the dialog exists (in a then() step).
    static std::string ItemText(HWND dialog, int id);

private:
    using Step = std::function<bool(HWND dialog)>;  // true when done

    static int32_t __cdecl Callback(void* fileObject, int32_t operation, int32_t value, void* data);
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
    static int WINAPI MessageBoxHook(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
    static INT_PTR WINAPI DialogBoxHook(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC proc,
                                        LPARAM init);
    void onTick();
    bool dismissMessageBoxes();
    HWND findDialog() const;
    bool refused(int32_t operation);

    static TestHost* current_;
    PluginDll dll_;
    HWND hostWindow_ = nullptr;
    HostContext context_{};
    std::unique_ptr<ScopedImportPatch> messageBoxPatch_, dialogBoxPatch_;

    std::vector<Step> script_;
    size_t nextStep_ = 0, unrunSteps_ = 0;
    int ticks_ = 0, idleTicksAfterScript_ = 0;
    bool inTick_ = false, timedOut_ = false;
    int depth_ = 0, inCallback_ = 0;

    std::map<int32_t, int> callCounts_;
    std::map<int32_t, std::vector<int>> refusals_;  // operation -> nth calls (0 = every)
    std::vector<HostCall> calls_;
    std::vector<ShownMessage> messages_;
    std::vector<HWND> dismissed_;
    HWND dialog_ = nullptr;
    INT_PTR dialogResult_ = -2;
    HWND dialogOwner_ = nullptr;
    HINSTANCE dialogInstance_ = nullptr;
    const char* dialogTemplate_ = nullptr;
};

// True when the frame pipeline linked into this process makes a frame at all.
// Tests that count or compare frames skip themselves without one (while the
// image code it relies on is still missing from a branch).
bool PipelineMakesFrames();
#define SKIP_WITHOUT_PIPELINE()                                                      \
    do {                                                                             \
        if (!PipelineMakesFrames()) GTEST_SKIP() << "the frame pipeline makes no frames yet"; \
    } while (0)

// The first dialog window of this thread with this caption, owned by owner
// (null: any owner), that is not in skip.
HWND FindThreadDialog(const char* caption, HWND owner, const std::vector<HWND>* skip = nullptr);

// Dispatches this thread's messages for a while, as a host that lets
// messages through during a callback does.
void PumpMessagesFor(DWORD milliseconds);

// Frame helpers over a copied block.
int32_t FrameWidth(const HostCall& call);
int32_t FrameHeight(const HostCall& call);
int32_t FrameBits(const HostCall& call);
// True when the block is an 8-bit image whose 256-entry table is the grey ramp.
bool FrameHasGreyRamp(const HostCall& call);
