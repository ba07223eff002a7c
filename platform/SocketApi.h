// The socket calls the transport makes, under WinSock's names, numbers and
// notices, so that the transport is written once for both platforms. On
// Windows they are WinSock's own calls. On Linux they are the descriptor
// calls, and WinSock's network events are rebuilt from poll(). A test may
// make socket() or setsockopt() fail, which cannot be provoked for real.
#pragma once

#include "Event.h"
#include "SocketTypes.h"

#include <functional>
#include <string>
#include <vector>

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

constexpr SOCKET INVALID_SOCKET = static_cast<SOCKET>(~static_cast<SOCKET>(0));
#ifndef SOCKET_ERROR
#define SOCKET_ERROR (-1)
#endif

// Network event bits and the slots of their error codes.
constexpr long FD_READ = 0x01;
constexpr long FD_WRITE = 0x02;
constexpr long FD_CONNECT = 0x10;
constexpr long FD_CLOSE = 0x20;
constexpr int FD_READ_BIT = 0;
constexpr int FD_WRITE_BIT = 1;
constexpr int FD_CLOSE_BIT = 5;
constexpr int FD_MAX_EVENTS = 10;

// The notices recorded for a socket since they were last fetched.
struct WSANETWORKEVENTS {
    long lNetworkEvents = 0;
    int iErrorCode[FD_MAX_EVENTS] = {};
};

constexpr DWORD WSA_WAIT_EVENT_0 = WAIT_OBJECT_0;
constexpr DWORD WSA_WAIT_TIMEOUT = WAIT_TIMEOUT;
constexpr DWORD WSA_WAIT_FAILED = WAIT_FAILED;
constexpr DWORD WSA_INFINITE = INFINITE;

// errno to the WinSock code the transport tests; 0 stays 0. The calls below
// leave their error in errno, a WinSock code on Windows, which passes as is.
int WsaErrorFromErrno(int nErrno);

struct CSocketApiHooks {
    // Return -1 with errno set to fail the call, or call through.
    std::function<int(int domain, int type, int protocol)> fnSocket;
    std::function<int(int fd, int level, int name, const void* pValue, socklen_t len)> fnSetSockOpt;
};
// Empty hooks restore the system calls.
void SetSocketApiHooks(CSocketApiHooks hooks);

// INVALID_SOCKET with errno set when no socket was made. The socket is not
// inherited by programs the process starts.
SOCKET PlatformSocket(int domain, int type, int protocol);
int PlatformSetSockOpt(SOCKET s, int level, int name, const void* pValue, socklen_t len);
// Closes the socket; its event selection ends with it.
int PlatformCloseSocket(SOCKET s);
// The calls below return 0 or a byte count, or SOCKET_ERROR with errno set.
int PlatformBind(SOCKET s, const sockaddr_in& address);
// Never raises a signal, and never blocks once the socket has an event
// selection. A send that would block records FD_WRITE again for the next
// time the socket can take data, as WinSock does.
int PlatformSend(SOCKET s, const void* pData, int nLength);
int PlatformReceive(SOCKET s, void* pData, int nLength);
int PlatformSendTo(SOCKET s, const void* pData, int nLength, const sockaddr_in& to);
// A datagram longer than nLength fails or is cut short by platform; callers
// give room for the longest datagram there is.
int PlatformReceiveFrom(SOCKET s, void* pData, int nLength, sockaddr_in* pFrom);

// Binds hEvent to the socket's lNetworkEvents (FD_READ, FD_WRITE, FD_CLOSE)
// and makes the socket non-blocking; hEvent null and 0 unbind it. Each
// notice is recorded once: FD_READ again after a receive while data is
// left, FD_WRITE once the socket can send and again only after a send that
// would have blocked, FD_CLOSE once. 0 or SOCKET_ERROR with errno set.
int WSAEventSelect(SOCKET s, HEVENT hEvent, long lNetworkEvents);
// Fetches and clears the notices recorded for s, whose selection hEvent is.
int WSAEnumNetworkEvents(SOCKET s, HEVENT hEvent, WSANETWORKEVENTS* pEvents);
// Waits for any one of the events, a bound one standing for its socket's
// notices; the lowest index is served first, and an auto-reset event is
// consumed when it is the one reported. WSA_WAIT_EVENT_0 + i,
// WSA_WAIT_TIMEOUT or WSA_WAIT_FAILED.
DWORD WSAWaitForMultipleEvents(DWORD nCount, HEVENT const* phEvents, DWORD dwMilliseconds);

// The dotted text of an IPv4 address in network order.
std::string InetNtoa(DWORD dwAddress);
// A dotted address to network order; INADDR_NONE when the text is none.
DWORD InetAddr(const std::string& text);
// The host's own name; false when it cannot be read.
bool GetHostName(std::string* pName);
// The IPv4 addresses a name resolves to, in network order and in the
// resolver's order (the hosts file's, for a name listed there).
std::vector<DWORD> GetHostAddresses(const std::string& name);

// An IPv4 address of one of the host's network interfaces.
struct CInterfaceAddress {
    std::string name; // the interface's name where the platform has one
    DWORD dwAddress;  // network order
    bool bUp;
    bool bLoopback;
    bool bMulticast;
};
// In the platform's order; empty when the list cannot be read.
std::vector<CInterfaceAddress> GetInterfaceAddresses();
