// GoogleTest's one use of std::mutex, for a C++ library without it (MinGW-w64's
// win32-threads flavour, GCC 12): its Notification, which lets a thread of
// GoogleTest's own wait for a start signal, on a Win32 event instead. Forced
// into GoogleTest and every test by tests/CMakeLists.txt, only there.
#pragma once

#include <windows.h>

namespace testing {
namespace internal {

class Notification {
public:
    Notification() : event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~Notification() { CloseHandle(event_); }
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() { SetEvent(event_); }
    void WaitForNotification() { WaitForSingleObject(event_, INFINITE); }

private:
    HANDLE event_;
};

}  // namespace internal
}  // namespace testing
