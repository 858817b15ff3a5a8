// Included before everything in GoogleTest and the tests: its Notification
// class, built on a Win32 event instead of std::mutex and condition_variable,
// which the win32-threads runtime lacks.
#pragma once
// The framework's own view of <windows.h>, without the A/W macros.
#include "../framework/win.h"

#define GTEST_HAS_NOTIFICATION_ 1

#ifdef __cplusplus
namespace testing {
namespace internal {
class Notification {
public:
    Notification() : m_event(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;
    ~Notification() { CloseHandle(m_event); }
    void Notify() { SetEvent(m_event); }
    void WaitForNotification() { WaitForSingleObject(m_event, INFINITE); }

private:
    HANDLE m_event;
};
}  // namespace internal
}  // namespace testing
#endif
