// Internal to the Windows side of the platform layer: the real Win32 calls,
// reached through plain C++ types. The shared headers define the Win32 names
// the ported code is written against (DWORD, HWND, MSG, PostMessage with a
// payload release, CreateEventA with two arguments), and those clash with
// <windows.h>. So only Win32Api.cpp includes <windows.h>; the files that
// implement the shared headers include those headers and call these.
#pragma once

#include <cstdint>
#include <string>

namespace Win32 {

typedef void* Handle;

// Kernel objects.
Handle NewEvent(bool bManualReset, bool bInitialState);
bool SetEvent(Handle hEvent);
bool ResetEvent(Handle hEvent);
// WaitForSingleObject; the results have the values of WinTypes.h.
uint32_t WaitForSingleObject(Handle hObject, uint32_t dwMilliseconds);
void CloseHandle(Handle hObject);

// Starts pfnStart(pArg) on a new thread (CreateThread) and closes the
// thread's handle; its id goes to *pdwThreadId. False when none started.
bool StartThread(unsigned long (*pfnStart)(void*), void* pArg, uint32_t* pdwThreadId);
uint32_t GetCurrentThreadId();
// SetThreadPriority of the thread with this id; false when it has ended.
bool SetThreadPriority(uint32_t dwThreadId, int nPriority);

// A posted or sent message as the thread's queue holds it.
struct RawMessage {
    uintptr_t hwnd;
    unsigned message;
    uintptr_t wParam;
    intptr_t lParam;
};

// Makes the calling thread's message queue, which PostThreadMessage needs.
void MakeThreadQueue();
bool PostToWindow(uintptr_t hWnd, unsigned message, uintptr_t wParam, intptr_t lParam);
bool PostToThread(uint32_t dwThreadId, unsigned message, uintptr_t wParam, intptr_t lParam);
void PostQuitMessage(int nExitCode);
// Takes the next message of the calling thread's queue, waiting up to
// dwMilliseconds (0xFFFFFFFF: no limit); sent messages are handled meanwhile.
bool NextMessage(RawMessage* pMsg, uint32_t dwMilliseconds);
// Takes the next message for hWnd only, without waiting.
bool PeekWindowMessage(uintptr_t hWnd, RawMessage* pMsg);
// TranslateMessage and DispatchMessage.
intptr_t Dispatch(const RawMessage& msg);

// A hidden top-level window of the class every message sink shares; its
// messages go to pfnProc(pOwner, hWnd, ...), which sets *pbHandled or leaves
// them to DefWindowProc. pOwner reaches pfnProc from WM_NCCREATE on.
typedef intptr_t (*SinkProc)(void* pOwner, uintptr_t hWnd, unsigned message, uintptr_t wParam,
                             intptr_t lParam, bool* pbHandled);
uintptr_t CreateSinkWindow(void* pOwner, SinkProc pfnProc);
bool DestroyWindow(uintptr_t hWnd);
bool IsWindow(uintptr_t hWnd);

// Values under HKEY_CURRENT_USER\<pszKey>. A read is false when the value is
// absent or of another type (REG_DWORD for integers, REG_SZ for strings); a
// write creates the key when needed.
bool ReadRegistryDword(const char* pszKey, const char* pszValue, uint32_t* pdwValue);
bool ReadRegistryString(const char* pszKey, const char* pszValue, std::string* pText);
bool WriteRegistryDword(const char* pszKey, const char* pszValue, uint32_t dwValue);
bool WriteRegistryString(const char* pszKey, const char* pszValue, const char* pszText);

// The debugger's output.
void DebugOutput(const char* pszText);

} // namespace Win32
