// Socket types on Windows, without <winsock2.h>, whose names clash with the
// platform layer's own Win32 names: a socket is WinSock's SOCKET, and the
// readiness a wait reports is given in the flags poll() uses on Linux, into
// which the Windows side maps WinSock's network events.
#pragma once

#include <cstdint>

typedef uintptr_t SOCKET;
typedef int socklen_t;
struct sockaddr;

constexpr short POLLIN = 0x0001;    // FD_READ, or FD_CLOSE with data still to read
constexpr short POLLOUT = 0x0004;   // FD_WRITE
constexpr short POLLERR = 0x0008;   // a notice with an error code
constexpr short POLLHUP = 0x0010;   // FD_CLOSE
constexpr short POLLNVAL = 0x0020;  // not a socket
constexpr short POLLRDHUP = 0x2000; // FD_CLOSE: the peer has shut down
