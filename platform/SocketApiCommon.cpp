// The parts of SocketApi.h both sides share: the hooks a test sets and the
// errno-to-WinSock map the transport reads its errors through.
#include "SocketApi.h"

#include "SocketApiHooks.h"

#include <cerrno>
#include <mutex>

namespace {
std::mutex g_hooksMutex;
CSocketApiHooks g_hooks;
} // namespace

int WsaErrorFromErrno(int nErrno) {
    // The Windows side sets errno to WinSock's own code.
    if (nErrno >= 10000)
        return nErrno;
    switch (nErrno) {
    case 0:
        return 0;
    case EINTR:
        return WSAEINTR;
    case EBADF:
        return WSAEBADF;
    case EACCES:
        return WSAEACCES;
    case EFAULT:
        return WSAEFAULT;
    case EINVAL:
        return WSAEINVAL;
    case EAGAIN:
        return WSAEWOULDBLOCK;
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
        return WSAEWOULDBLOCK;
#endif
    // A non-blocking connect under way is WinSock's would-block.
    case EINPROGRESS:
        return WSAEWOULDBLOCK;
    case EALREADY:
        return WSAEALREADY;
    case ENOTSOCK:
        return WSAENOTSOCK;
    case EMSGSIZE:
        return WSAEMSGSIZE;
    case EPROTONOSUPPORT:
        return WSAEPROTONOSUPPORT;
    case EOPNOTSUPP:
        return WSAEOPNOTSUPP;
    case EAFNOSUPPORT:
        return WSAEAFNOSUPPORT;
    case EADDRINUSE:
        return WSAEADDRINUSE;
    case EADDRNOTAVAIL:
        return WSAEADDRNOTAVAIL;
    case ENETDOWN:
        return WSAENETDOWN;
    case ENETUNREACH:
        return WSAENETUNREACH;
    case ECONNABORTED:
        return WSAECONNABORTED;
    case ECONNRESET:
        return WSAECONNRESET;
    case ENOBUFS:
        return WSAENOBUFS;
    case ENOMEM:
        return WSAENOBUFS;
    case EISCONN:
        return WSAEISCONN;
    case ENOTCONN:
        return WSAENOTCONN;
    case EPIPE:
        return WSAESHUTDOWN;
        // Codes some C libraries do not have.
#ifdef ESHUTDOWN
    case ESHUTDOWN:
        return WSAESHUTDOWN;
#endif
    case ETIMEDOUT:
        return WSAETIMEDOUT;
    case ECONNREFUSED:
        return WSAECONNREFUSED;
    case EHOSTUNREACH:
        return WSAEHOSTUNREACH;
#ifdef EHOSTDOWN
    case EHOSTDOWN:
        return WSAEHOSTUNREACH;
#endif
    default:
        return 10000 + nErrno;
    }
}

void SetSocketApiHooks(CSocketApiHooks hooks) {
    std::lock_guard<std::mutex> lock(g_hooksMutex);
    g_hooks = std::move(hooks);
}

CSocketApiHooks GetSocketApiHooks() {
    std::lock_guard<std::mutex> lock(g_hooksMutex);
    return g_hooks;
}
