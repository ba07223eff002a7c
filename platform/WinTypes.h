// The handful of Win32 types and constants the ported code is written against.
#pragma once

#include <cstdint>

typedef uint32_t DWORD;
typedef uint16_t WORD;
typedef uint8_t BYTE;
typedef unsigned int UINT;
typedef int BOOL;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;

// A message target ("window"): an id that is never reused, so a stale handle
// is recognised instead of reaching freed memory. 0 is no window.
typedef uintptr_t HWND;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_USER = 0x0400;

constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 0x102;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;

constexpr UINT MB_OK = 0x00;
constexpr UINT MB_YESNO = 0x04;
constexpr UINT MB_ICONHAND = 0x10;
constexpr UINT MB_ICONQUESTION = 0x20;
constexpr UINT MB_ICONEXCLAMATION = 0x30;
constexpr UINT MB_ICONINFORMATION = 0x40;
constexpr UINT MB_TYPEMASK = 0x0F;
constexpr UINT MB_ICONMASK = 0xF0;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// WinSock record of a byte count and its bytes; both blocks come from malloc.
struct WSABUF {
    uint32_t len;
    char* buf;
};

// Frees a received or queued record: the bytes first, then the record.
void FreeWsaBuf(WSABUF* pBuf);
// Called by FreeWsaBuf with each record just before it is freed, on the
// freeing thread: so a socket learns that its receiver has taken what it
// posted. One hook for the process; null removes it.
typedef void (*PFN_WSABUF_FREED)(WSABUF* pBuf);
void SetWsaBufFreedHook(PFN_WSABUF_FREED pfnHook);
