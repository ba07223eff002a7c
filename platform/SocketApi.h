// The socket calls the transport makes, with WinSock's error numbers, and the
// readiness wait its I/O threads block in. A test may make socket() or
// setsockopt() fail, which cannot be provoked for real.
#pragma once

#include "Event.h"
#include "SocketTypes.h"

#include <functional>

constexpr int WSAEINTR = 10004;
constexpr int WSAEBADF = 10009;
constexpr int WSAEACCES = 10013;
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEINPROGRESS = 10036;
constexpr int WSAEALREADY = 10037;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAEMSGSIZE = 10040;
constexpr int WSAEPROTONOSUPPORT = 10043;
constexpr int WSAEOPNOTSUPP = 10045;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAEISCONN = 10056;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAESHUTDOWN = 10058;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAEHOSTUNREACH = 10065;
constexpr int WSANOTINITIALISED = 10093;

// errno to the WinSock code the ported logic tests; 0 stays 0.
int WsaErrorFromErrno(int nErrno);

struct CSocketApiHooks {
    // Return -1 with errno set to fail the call, or call through.
    std::function<int(int domain, int type, int protocol)> fnSocket;
    std::function<int(int fd, int level, int name, const void* pValue, socklen_t len)> fnSetSockOpt;
};
// Empty hooks restore the system calls.
void SetSocketApiHooks(CSocketApiHooks hooks);

// INVALID_SOCKET (-1 on Linux) with errno set when no socket was made.
SOCKET PlatformSocket(int domain, int type, int protocol);
int PlatformSetSockOpt(SOCKET s, int level, int name, const void* pValue, socklen_t len);
// Closes the socket and forgets what the waits below kept for it.
int PlatformCloseSocket(SOCKET s);

// Waits for the socket (unless it is INVALID_SOCKET) to report any of
// nPollEvents, or for one of the events. Served in priority order: the socket first, then the
// events in array order; an auto-reset event is consumed when it is the one
// reported. Returns 0 for the socket (its poll flags in *pRevents), 1 + i for
// pEvents[i], WAIT_TIMEOUT or WAIT_FAILED.
DWORD WaitForSocketAndEvents(SOCKET s, short nPollEvents, short* pRevents, CEvent* const* pEvents,
                             DWORD nCount, DWORD dwMilliseconds);
