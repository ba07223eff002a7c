// Internal to the Windows side: which real windows are our message sinks
// (CMsgWnd), which threads have our queues, and the payloads in flight.
// A message that owns a payload travels as kWmEnvelope with the number of
// its envelope here, so that a payload still queued when its window or
// thread goes is released and never leaked or delivered twice.
#pragma once

#include "MessageQueue.h"

class CMsgWnd;

namespace Win32Sinks {

// WM_APP + 0x3F00: far from the private messages (WM_USER + n).
constexpr UINT kWmEnvelope = 0xBF00;

void AddWindow(HWND hWnd, CMsgWnd* pWnd);
// Null when hWnd is not (or no longer) a live sink.
CMsgWnd* FindWindow(HWND hWnd);
// Retires the window: posts to it fail from now on, and the payloads queued
// for it are released.
void RemoveWindow(HWND hWnd);

void AddThread(DWORD dwThreadId);
// When the last queue of the thread goes: posts fail, payloads are released.
void RemoveThread(DWORD dwThreadId);

// Posts msg (its hwnd, or dwThreadId when hwnd is 0) with the real call,
// in an envelope when it owns a payload. On failure the payload is released.
BOOL Post(const MSG& msg, DWORD dwThreadId);
// Opens the envelope numbered lParam; false when it was released meanwhile.
bool TakeEnvelope(LPARAM lParam, MSG* pMsg);

} // namespace Win32Sinks
