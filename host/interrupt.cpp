// The console control handler and the lock that keeps a stop out of a commit.
#include "host/interrupt.h"

#include <windows.h>

namespace {

// Made before main, so before the console can start a handler thread.
// (A critical section, not an SRW lock: those came with Vista.)
struct StopLock {
    StopLock() { InitializeCriticalSection(&section); }
    CRITICAL_SECTION section;
};
StopLock g_lock;
volatile LONG g_signal = 0;
HANDLE g_done = nullptr;

// How long a closing console may wait for the host to tidy up; the system
// ends the process soon after anyway.
constexpr DWORD kCloseWaitMs = 4000;

BOOL WINAPI OnConsoleControl(DWORD event)
{
    int signalNumber;
    switch (event) {
    case CTRL_C_EVENT: signalNumber = 2; break;       // SIGINT
    case CTRL_BREAK_EVENT: signalNumber = 21; break;  // SIGBREAK
    case CTRL_CLOSE_EVENT: signalNumber = 1; break;   // SIGHUP
    default: signalNumber = 15; break;                // SIGTERM: log-off, shut-down
    }
    RecordInterrupt(signalNumber);
    // Returning from these ends the process: give the host time to finish
    // its step and remove what it had begun to write.
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && g_done)
        WaitForSingleObject(g_done, kCloseWaitMs);
    return TRUE;
}

}  // namespace

bool InstallInterruptHandler()
{
    if (!g_done) g_done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    return SetConsoleCtrlHandler(OnConsoleControl, TRUE) != 0;
}

void RecordInterrupt(int signalNumber)
{
    EnterCriticalSection(&g_lock.section);
    InterlockedCompareExchange(&g_signal, signalNumber, 0);
    LeaveCriticalSection(&g_lock.section);
}

int InterruptSignal() { return static_cast<int>(InterlockedCompareExchange(&g_signal, 0, 0)); }

bool CommitUnlessInterrupted(const std::function<bool()>& commit)
{
    EnterCriticalSection(&g_lock.section);
    const bool ok = InterruptSignal() == 0 && commit();
    LeaveCriticalSection(&g_lock.section);
    return ok;
}

void InterruptibleWorkDone()
{
    if (g_done) SetEvent(g_done);
}
