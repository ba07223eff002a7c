// Unnamed events with Win32 semantics. On Linux an event is an eventfd, so
// that a socket thread can wait on its socket and its events in one poll();
// on Windows it is the event object itself.
#pragma once

#include "NativeEvent.h"
#include "WinTypes.h"

#include <atomic>
#include <cstdint>

class CEvent {
public:
    CEvent(bool bManualReset, bool bInitialState);
    ~CEvent();
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;

    bool IsValid() const { return m_hNative != kNoNativeEvent; }
    bool IsManualReset() const { return m_bManualReset; }
    // What the platform's waits take: the descriptor or the handle.
    NATIVE_EVENT GetNative() const { return m_hNative; }

    void Set();
    void Reset();
    // WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED. An auto-reset event is
    // consumed by the one wait that returns WAIT_OBJECT_0.
    DWORD Wait(DWORD dwMilliseconds);
    // Takes the signal without waiting (auto-reset) or tests it (manual-reset).
    bool TryAcquire();
    // As TryAcquire, once a wait on several objects has reported this one.
    bool AcquireReady();

private:
    // Reads the counter empty; false when it already was.
    bool Drain();

    NATIVE_EVENT m_hNative;
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
