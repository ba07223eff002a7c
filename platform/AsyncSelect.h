// The connect notification of WinSock's WSAAsyncSelect: a non-blocking
// connect whose completion is posted to an owner window as a select reply.
#pragma once

#include "WinTypes.h"

#include "SocketApi.h"

// A select reply: the event in the low 16 bits, the WinSock error in the high.
constexpr LPARAM WSAMAKESELECTREPLY(long lEvent, int nError) {
    return static_cast<LPARAM>((static_cast<DWORD>(nError) << 16) |
                               (static_cast<DWORD>(lEvent) & 0xFFFF));
}
constexpr WORD WSAGETSELECTEVENT(LPARAM lReply) {
    return static_cast<WORD>(lReply & 0xFFFF);
}
constexpr WORD WSAGETSELECTERROR(LPARAM lReply) {
    return static_cast<WORD>((lReply >> 16) & 0xFFFF);
}

// With FD_CONNECT in lEvent: makes s non-blocking and asks for wMsg (wParam s,
// lParam the select reply) when a connect started by WSAConnect completes.
// With lEvent 0: cancels; once it returns nothing more is posted for s, so s
// may be closed and its number reused. Other events are not supported.
// 0 on success, SOCKET_ERROR with errno set otherwise.
int WSAAsyncSelect(SOCKET s, HWND hWnd, UINT wMsg, long lEvent);

// Starts the connect. On a socket with a connect request it never completes
// at once: it fails with EINPROGRESS (WinSock's would-block) and the outcome,
// even an immediate one, is posted. 0 or SOCKET_ERROR with errno set.
int WSAConnect(SOCKET s, const sockaddr* pName, socklen_t nNameLen);
