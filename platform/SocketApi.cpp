#include "SocketApi.h"

#include <cerrno>
#include <mutex>
#include <poll.h>
#include <unistd.h>
#include <vector>

namespace {
std::mutex g_hooksMutex;
CSocketApiHooks g_hooks;
} // namespace

int WsaErrorFromErrno(int nErrno) {
    switch (nErrno) {
    case 0: return 0;
    case EINTR: return WSAEINTR;
    case EBADF: return WSAEBADF;
    case EACCES: return WSAEACCES;
    case EFAULT: return WSAEFAULT;
    case EINVAL: return WSAEINVAL;
    case EAGAIN: return WSAEWOULDBLOCK;
    // A non-blocking connect under way is WinSock's would-block.
    case EINPROGRESS: return WSAEWOULDBLOCK;
    case EALREADY: return WSAEALREADY;
    case ENOTSOCK: return WSAENOTSOCK;
    case EMSGSIZE: return WSAEMSGSIZE;
    case EPROTONOSUPPORT: return WSAEPROTONOSUPPORT;
    case EOPNOTSUPP: return WSAEOPNOTSUPP;
    case EAFNOSUPPORT: return WSAEAFNOSUPPORT;
    case EADDRINUSE: return WSAEADDRINUSE;
    case EADDRNOTAVAIL: return WSAEADDRNOTAVAIL;
    case ENETDOWN: return WSAENETDOWN;
    case ENETUNREACH: return WSAENETUNREACH;
    case ECONNABORTED: return WSAECONNABORTED;
    case ECONNRESET: return WSAECONNRESET;
    case ENOBUFS: return WSAENOBUFS;
    case ENOMEM: return WSAENOBUFS;
    case EISCONN: return WSAEISCONN;
    case ENOTCONN: return WSAENOTCONN;
    case EPIPE: return WSAESHUTDOWN;
    case ESHUTDOWN: return WSAESHUTDOWN;
    case ETIMEDOUT: return WSAETIMEDOUT;
    case ECONNREFUSED: return WSAECONNREFUSED;
    case EHOSTUNREACH: return WSAEHOSTUNREACH;
    case EHOSTDOWN: return WSAEHOSTUNREACH;
    default: return 10000 + nErrno;
    }
}

void SetSocketApiHooks(CSocketApiHooks hooks) {
    std::lock_guard<std::mutex> lock(g_hooksMutex);
    g_hooks = std::move(hooks);
}

int PlatformSocket(int domain, int type, int protocol) {
    std::function<int(int, int, int)> fnHook;
    {
        std::lock_guard<std::mutex> lock(g_hooksMutex);
        fnHook = g_hooks.fnSocket;
    }
    return fnHook ? fnHook(domain, type, protocol) : socket(domain, type, protocol);
}

int PlatformSetSockOpt(int fd, int level, int name, const void* pValue, socklen_t len) {
    std::function<int(int, int, int, const void*, socklen_t)> fnHook;
    {
        std::lock_guard<std::mutex> lock(g_hooksMutex);
        fnHook = g_hooks.fnSetSockOpt;
    }
    return fnHook ? fnHook(fd, level, name, pValue, len) : setsockopt(fd, level, name, pValue, len);
}

int PlatformCloseSocket(int fd) { return close(fd); }

DWORD WaitForSocketAndEvents(int fd, short nPollEvents, short* pRevents, CEvent* const* pEvents,
                             DWORD nCount, DWORD dwMilliseconds) {
    std::vector<pollfd> fds;
    fds.reserve(nCount + 1);
    fds.push_back(pollfd{fd, nPollEvents, 0}); // poll() skips a negative fd
    for (DWORD i = 0; i < nCount; ++i)
        fds.push_back(pollfd{pEvents[i]->GetNative(), POLLIN, 0});
    const int timeout = dwMilliseconds == INFINITE ? -1 : static_cast<int>(dwMilliseconds);
    for (;;) {
        int rc = poll(fds.data(), fds.size(), timeout);
        if (rc < 0) {
            if (errno == EINTR)
                continue;
            return WAIT_FAILED;
        }
        if (rc == 0)
            return WAIT_TIMEOUT;
        if (fd >= 0 && fds[0].revents != 0) {
            if (pRevents != nullptr)
                *pRevents = fds[0].revents;
            return 0;
        }
        for (DWORD i = 0; i < nCount; ++i) {
            if (fds[i + 1].revents & POLLNVAL)
                return WAIT_FAILED; // an event closed under the wait
            if ((fds[i + 1].revents & POLLIN) && pEvents[i]->AcquireReady())
                return 1 + i;
        }
        // Another thread took an auto-reset event first: wait again. The
        // time-out restarts, which only matters to finite waits on shared
        // events, and no caller makes one.
    }
}
