// The Windows side of AsyncSelect.h: WinSock's own WSAAsyncSelect, which
// makes the socket non-blocking and posts the connect's completion to the
// window, and WSAConnect. Errors are left in errno as WinSock's codes.
#include "AsyncSelect.h"

#include "WinSockApi.h"

#include <cerrno>

int WSAAsyncSelect(SOCKET s, HWND hWnd, UINT wMsg, long lEvent) {
    if ((lEvent & ~FD_CONNECT) != 0) {
        errno = EINVAL;
        return SOCKET_ERROR;
    }
    const int nError = WinSock::AsyncSelect(s, hWnd, wMsg, lEvent);
    if (nError == 0)
        return 0;
    errno = nError;
    return SOCKET_ERROR;
}

int WSAConnect(SOCKET s, const sockaddr* pName, socklen_t nNameLen) {
    const int nError = WinSock::Connect(s, pName, nNameLen);
    if (nError == 0)
        return 0;
    errno = nError;
    return SOCKET_ERROR;
}
