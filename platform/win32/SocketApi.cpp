// The Windows side of SocketApi.h: WinSock's own calls, and a readiness wait
// built on WSAEventSelect and WSAWaitForMultipleEvents. WinSock reports
// network events once (FD_WRITE when the socket becomes writable and again
// only after a send would have blocked), so a notice the caller did not ask
// for yet is kept for a later wait rather than lost.
#include "SocketApi.h"

#include "WinSockApi.h"

#include <cerrno>
#include <chrono>
#include <map>
#include <mutex>
#include <vector>

namespace {

std::mutex g_hooksMutex;
CSocketApiHooks g_hooks;

constexpr long FD_READ = 0x01;
constexpr long FD_WRITE = 0x02;
constexpr long FD_CLOSE = 0x20;
constexpr int FD_READ_BIT = 0;
constexpr int FD_WRITE_BIT = 1;
constexpr int FD_CLOSE_BIT = 5;
constexpr SOCKET kNoSocket = ~static_cast<SOCKET>(0);

// What a socket's waits keep between calls: its network event and the
// readiness reported but not yet asked for.
struct CSocketWatch {
    void* hNetworkEvent = nullptr;
    short nPending = 0;
};

std::mutex g_watchMutex;
std::map<SOCKET, CSocketWatch> g_watches;

// The flags poll() would give for these notices.
short ToPollFlags(long lEvents, const int anErrors[10]) {
    short nFlags = 0;
    if (lEvents & FD_READ)
        nFlags |= anErrors[FD_READ_BIT] != 0 ? POLLERR : POLLIN;
    if (lEvents & FD_WRITE)
        nFlags |= anErrors[FD_WRITE_BIT] != 0 ? POLLERR : POLLOUT;
    if (lEvents & FD_CLOSE) {
        // A graceful close still leaves the peer's last bytes to read.
        nFlags |= POLLIN | POLLRDHUP;
        if (anErrors[FD_CLOSE_BIT] != 0)
            nFlags |= POLLERR | POLLHUP;
    }
    return nFlags;
}

// The socket's network event, bound at its first wait; null on failure.
void* WatchFor(SOCKET s, int* pnError) {
    std::lock_guard<std::mutex> lock(g_watchMutex);
    CSocketWatch& watch = g_watches[s];
    if (watch.hNetworkEvent == nullptr)
        watch.hNetworkEvent = WinSock::BindNetworkEvent(s, FD_READ | FD_WRITE | FD_CLOSE, pnError);
    if (watch.hNetworkEvent == nullptr)
        g_watches.erase(s);
    return watch.hNetworkEvent;
}

// Takes from the pending readiness what the caller asks for; errors and
// hang-ups are always reported, as poll() does.
short TakePending(SOCKET s, short nWanted) {
    std::lock_guard<std::mutex> lock(g_watchMutex);
    auto it = g_watches.find(s);
    if (it == g_watches.end())
        return 0;
    const short nTaken = it->second.nPending & (nWanted | POLLERR | POLLHUP);
    it->second.nPending &= ~nTaken;
    return nTaken;
}

void AddPending(SOCKET s, short nFlags) {
    std::lock_guard<std::mutex> lock(g_watchMutex);
    auto it = g_watches.find(s);
    if (it != g_watches.end())
        it->second.nPending |= nFlags;
}

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
    case EWOULDBLOCK:
        return WSAEWOULDBLOCK;
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
    case ETIMEDOUT:
        return WSAETIMEDOUT;
    case ECONNREFUSED:
        return WSAECONNREFUSED;
    case EHOSTUNREACH:
        return WSAEHOSTUNREACH;
    default:
        return 10000 + nErrno;
    }
}

void SetSocketApiHooks(CSocketApiHooks hooks) {
    std::lock_guard<std::mutex> lock(g_hooksMutex);
    g_hooks = std::move(hooks);
}

SOCKET PlatformSocket(int domain, int type, int protocol) {
    std::function<int(int, int, int)> fnHook;
    {
        std::lock_guard<std::mutex> lock(g_hooksMutex);
        fnHook = g_hooks.fnSocket;
    }
    // A hook only ever fails the call here; a real socket comes from WinSock.
    if (fnHook && fnHook(domain, type, protocol) < 0)
        return kNoSocket;
    int nError = 0;
    const SOCKET s = WinSock::Socket(domain, type, protocol, &nError);
    if (s == kNoSocket)
        errno = nError;
    return s;
}

int PlatformSetSockOpt(SOCKET s, int level, int name, const void* pValue, socklen_t len) {
    std::function<int(int, int, int, const void*, socklen_t)> fnHook;
    {
        std::lock_guard<std::mutex> lock(g_hooksMutex);
        fnHook = g_hooks.fnSetSockOpt;
    }
    if (fnHook && fnHook(static_cast<int>(s), level, name, pValue, len) < 0)
        return -1;
    const int nError = WinSock::SetSockOpt(s, level, name, pValue, len);
    if (nError == 0)
        return 0;
    errno = nError;
    return -1;
}

int PlatformCloseSocket(SOCKET s) {
    void* hNetworkEvent = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_watchMutex);
        auto it = g_watches.find(s);
        if (it != g_watches.end()) {
            hNetworkEvent = it->second.hNetworkEvent;
            g_watches.erase(it);
        }
    }
    if (hNetworkEvent != nullptr)
        WinSock::ReleaseNetworkEvent(s, hNetworkEvent);
    const int nError = WinSock::CloseSocket(s);
    if (nError == 0)
        return 0;
    errno = nError;
    return -1;
}

DWORD WaitForSocketAndEvents(SOCKET s, short nPollEvents, short* pRevents, CEvent* const* pEvents,
                             DWORD nCount, DWORD dwMilliseconds) {
    std::vector<void*> handles;
    handles.reserve(nCount + 1);
    const bool bSocket = s != kNoSocket;
    if (bSocket) {
        int nError = 0;
        void* hNetworkEvent = WatchFor(s, &nError);
        if (hNetworkEvent == nullptr) {
            if (pRevents != nullptr)
                *pRevents = POLLNVAL;
            return 0; // as poll() reports a descriptor that is no socket
        }
        handles.push_back(hNetworkEvent);
    }
    for (DWORD i = 0; i < nCount; ++i)
        handles.push_back(pEvents[i]->GetNative());
    const DWORD nFirstEvent = bSocket ? 1 : 0;

    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(dwMilliseconds);
    for (;;) {
        if (bSocket) {
            const short nReady = TakePending(s, nPollEvents);
            if (nReady != 0) {
                if (pRevents != nullptr)
                    *pRevents = nReady;
                return 0;
            }
        }
        DWORD dwWait = INFINITE;
        if (dwMilliseconds != INFINITE) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            dwWait = left.count() > 0 ? static_cast<DWORD>(left.count()) : 0;
        }
        const uint32_t rc =
            WinSock::WaitForAny(handles.data(), static_cast<uint32_t>(handles.size()), dwWait);
        if (rc == WAIT_TIMEOUT) {
            // Windows may end the wait on a clock tick a little early.
            if (dwMilliseconds == INFINITE || Clock::now() >= deadline)
                return WAIT_TIMEOUT;
            continue;
        }
        if (rc == WAIT_FAILED)
            return WAIT_FAILED;
        if (bSocket && rc == 0) {
            long lEvents = 0;
            int anErrors[10] = {};
            if (WinSock::EnumNetworkEvents(s, handles[0], &lEvents, anErrors) != 0)
                return WAIT_FAILED;
            AddPending(s, ToPollFlags(lEvents, anErrors));
            continue;
        }
        // The wait took an auto-reset event's signal.
        return 1 + (rc - nFirstEvent);
    }
}
