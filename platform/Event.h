// Unnamed events with Win32 semantics, built on eventfd so that a socket
// thread can wait on its socket and its events in one poll().
#pragma once

#include "WinTypes.h"

#include <atomic>
#include <cstdint>

class CEvent {
public:
    CEvent(bool bManualReset, bool bInitialState);
    ~CEvent();
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;

    bool IsValid() const { return m_fd >= 0; }
    bool IsManualReset() const { return m_bManualReset; }
    int GetFd() const { return m_fd; }

    void Set();
    void Reset();
    // WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED. An auto-reset event is
    // consumed by the one wait that returns WAIT_OBJECT_0.
    DWORD Wait(DWORD dwMilliseconds);
    // Takes the signal without waiting (auto-reset) or tests it (manual-reset).
    bool TryAcquire();
    // As TryAcquire, once poll() has reported the descriptor readable.
    bool AcquireReady();

private:
    // Reads the counter empty; false when it already was.
    bool Drain();

    int m_fd;
    bool m_bManualReset;
    // The sets not yet read from the descriptor: raised before each write,
    // lowered by what each read took. At zero the descriptor is empty, so a
    // reset or a wait learns without a system call that the event is not set.
    std::atomic<int64_t> m_nUnread;
};

typedef CEvent* HEVENT;

// Null when the event cannot be created.
HEVENT CreateEventA(bool bManualReset, bool bInitialState);
BOOL SetEvent(HEVENT hEvent);
BOOL ResetEvent(HEVENT hEvent);
// A wait longer than a display frame runs the thread's CBeforeBlockHook
// hooks once it has lasted that long.
DWORD WaitForSingleObject(HEVENT hEvent, DWORD dwMilliseconds);
void CloseHandle(HEVENT hEvent);
