// The Linux side of SocketApi.h. WinSock's network events are rebuilt from
// poll(): a socket bound to an event is polled in that event's place, what
// poll() reported is recorded with the socket, and WSAEnumNetworkEvents turns
// it into notices. FD_WRITE is asked of poll() only while armed, as WinSock
// records it: once the socket is writable, then again after a send that
// would have blocked.
#include "SocketApi.h"

#include "SocketApiHooks.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <ifaddrs.h>
#include <map>
#include <mutex>
#include <net/if.h>
#include <netdb.h>
#include <poll.h>
#include <unistd.h>

namespace {
// A socket's event selection and what poll() reported for it since the
// notices were last fetched.
struct CSelection {
    SOCKET s = INVALID_SOCKET;
    long lEvents = 0;
    bool bWriteArmed = true;
    short nReported = 0;
};
std::mutex g_selectMutex;
std::map<SOCKET, CSelection> g_selections;
std::map<HEVENT, SOCKET> g_boundEvents;

// The poll() flags a selection waits for; 0 when hEvent is bound to nothing.
short PollFlagsFor(HEVENT hEvent, SOCKET* pSocket) {
    std::lock_guard<std::mutex> lock(g_selectMutex);
    auto bound = g_boundEvents.find(hEvent);
    if (bound == g_boundEvents.end())
        return 0;
    const CSelection& sel = g_selections[bound->second];
    *pSocket = sel.s;
    short nFlags = 0;
    if (sel.lEvents & (FD_READ | FD_CLOSE))
        nFlags |= POLLIN | POLLRDHUP;
    if ((sel.lEvents & FD_WRITE) && sel.bWriteArmed)
        nFlags |= POLLOUT;
    return nFlags;
}

void Record(SOCKET s, short nRevents) {
    std::lock_guard<std::mutex> lock(g_selectMutex);
    auto it = g_selections.find(s);
    if (it != g_selections.end())
        it->second.nReported |= nRevents;
}

void ArmWrite(SOCKET s) {
    std::lock_guard<std::mutex> lock(g_selectMutex);
    auto it = g_selections.find(s);
    if (it != g_selections.end())
        it->second.bWriteArmed = true;
}

void Unselect(SOCKET s) {
    std::lock_guard<std::mutex> lock(g_selectMutex);
    auto it = g_selections.find(s);
    if (it == g_selections.end())
        return;
    for (auto bound = g_boundEvents.begin(); bound != g_boundEvents.end();)
        bound = bound->second == s ? g_boundEvents.erase(bound) : std::next(bound);
    g_selections.erase(it);
}

int Fail(int nErrno) {
    errno = nErrno;
    return SOCKET_ERROR;
}

// A socket call's result, its errno kept for the caller.
int Result(ssize_t n) {
    return n < 0 ? SOCKET_ERROR : static_cast<int>(n);
}
} // namespace

SOCKET PlatformSocket(int domain, int type, int protocol) {
    const auto fnHook = GetSocketApiHooks().fnSocket;
    type |= SOCK_CLOEXEC;
    return fnHook ? fnHook(domain, type, protocol) : socket(domain, type, protocol);
}

int PlatformSetSockOpt(SOCKET s, int level, int name, const void* pValue, socklen_t len) {
    const auto fnHook = GetSocketApiHooks().fnSetSockOpt;
    return fnHook ? fnHook(s, level, name, pValue, len) : setsockopt(s, level, name, pValue, len);
}

int PlatformCloseSocket(SOCKET s) {
    // Forgotten first: the number may be reused as soon as it is closed.
    Unselect(s);
    return close(s);
}

int PlatformBind(SOCKET s, const sockaddr_in& address) {
    return bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 ? 0
                                                                                     : SOCKET_ERROR;
}

int PlatformSend(SOCKET s, const void* pData, int nLength) {
    const ssize_t n = send(s, pData, static_cast<size_t>(nLength), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        ArmWrite(s);
    return Result(n);
}

int PlatformReceive(SOCKET s, void* pData, int nLength) {
    return Result(recv(s, pData, static_cast<size_t>(nLength), MSG_DONTWAIT));
}

int PlatformSendTo(SOCKET s, const void* pData, int nLength, const sockaddr_in& to) {
    const ssize_t n = sendto(s, pData, static_cast<size_t>(nLength), MSG_NOSIGNAL | MSG_DONTWAIT,
                             reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        ArmWrite(s);
    return Result(n);
}

int PlatformReceiveFrom(SOCKET s, void* pData, int nLength, sockaddr_in* pFrom) {
    socklen_t nFromLen = sizeof *pFrom;
    return Result(recvfrom(s, pData, static_cast<size_t>(nLength), MSG_DONTWAIT,
                           reinterpret_cast<sockaddr*>(pFrom), &nFromLen));
}

int WSAEventSelect(SOCKET s, HEVENT hEvent, long lNetworkEvents) {
    Unselect(s);
    if (hEvent == nullptr || lNetworkEvents == 0)
        return 0;
    const int nFlags = fcntl(s, F_GETFL);
    if (nFlags < 0 || fcntl(s, F_SETFL, nFlags | O_NONBLOCK) < 0)
        return SOCKET_ERROR;
    std::lock_guard<std::mutex> lock(g_selectMutex);
    g_selections[s] = CSelection{s, lNetworkEvents, true, 0};
    g_boundEvents[hEvent] = s;
    return 0;
}

int WSAEnumNetworkEvents(SOCKET s, HEVENT hEvent, WSANETWORKEVENTS* pEvents) {
    long lSelected = 0;
    short nRevents = 0;
    {
        std::lock_guard<std::mutex> lock(g_selectMutex);
        auto bound = g_boundEvents.find(hEvent);
        if (bound == g_boundEvents.end() || bound->second != s)
            return Fail(EINVAL);
        CSelection& sel = g_selections[s];
        lSelected = sel.lEvents;
        nRevents = sel.nReported;
        sel.nReported = 0;
        if ((nRevents & POLLOUT) && (lSelected & FD_WRITE))
            sel.bWriteArmed = false;
    }
    *pEvents = WSANETWORKEVENTS{};
    if (nRevents & POLLNVAL)
        return Fail(ENOTSOCK);
    int nError = 0;
    if (nRevents & POLLERR) {
        // Fetching the pending error (an ICMP report, a reset) clears it.
        int nErrno = 0;
        socklen_t len = sizeof nErrno;
        if (getsockopt(s, SOL_SOCKET, SO_ERROR, &nErrno, &len) < 0)
            return SOCKET_ERROR;
        nError = WsaErrorFromErrno(nErrno);
    }
    if ((nRevents & (POLLIN | POLLRDHUP | POLLHUP | POLLERR)) && (lSelected & FD_READ)) {
        pEvents->lNetworkEvents |= FD_READ;
        pEvents->iErrorCode[FD_READ_BIT] = nError;
    }
    // The peer's close counts only once the data it sent before it has been
    // read, as WinSock reports FD_CLOSE; plain data needs no peek.
    if ((nRevents & (POLLRDHUP | POLLHUP | POLLERR)) && (lSelected & FD_CLOSE)) {
        char c;
        const ssize_t n = recv(s, &c, 1, MSG_PEEK | MSG_DONTWAIT);
        if (n < 0 && nError == 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            nError = WsaErrorFromErrno(errno);
        if (n == 0 || nError != 0) {
            pEvents->lNetworkEvents |= FD_CLOSE;
            pEvents->iErrorCode[FD_CLOSE_BIT] = nError;
        }
    }
    if ((nRevents & POLLOUT) && (lSelected & FD_WRITE)) {
        pEvents->lNetworkEvents |= FD_WRITE;
        pEvents->iErrorCode[FD_WRITE_BIT] = nError;
    }
    return 0;
}

DWORD WSAWaitForMultipleEvents(DWORD nCount, HEVENT const* phEvents, DWORD dwMilliseconds) {
    // Per event its own descriptor, then the socket bound to it (if any).
    std::vector<pollfd> fds;
    std::vector<SOCKET> sockets(nCount, INVALID_SOCKET);
    fds.reserve(2 * nCount);
    for (DWORD i = 0; i < nCount; ++i) {
        fds.push_back(pollfd{phEvents[i]->GetNative(), POLLIN, 0});
        const short nFlags = PollFlagsFor(phEvents[i], &sockets[i]);
        // poll() skips a negative descriptor but still reports errors of a
        // socket asked for nothing.
        fds.push_back(pollfd{sockets[i] != INVALID_SOCKET ? sockets[i] : -1, nFlags, 0});
    }
    const int timeout = dwMilliseconds == INFINITE ? -1 : static_cast<int>(dwMilliseconds);
    for (;;) {
        const int rc = poll(fds.data(), fds.size(), timeout);
        if (rc < 0) {
            if (errno == EINTR)
                continue;
            return WSA_WAIT_FAILED;
        }
        if (rc == 0)
            return WSA_WAIT_TIMEOUT;
        for (DWORD i = 0; i < nCount; ++i) {
            const pollfd& event = fds[2 * i];
            const pollfd& socket = fds[2 * i + 1];
            if (event.revents & POLLNVAL)
                return WSA_WAIT_FAILED; // an event closed under the wait
            if (socket.fd >= 0 && socket.revents != 0) {
                Record(sockets[i], socket.revents);
                return WSA_WAIT_EVENT_0 + i;
            }
            if ((event.revents & POLLIN) && phEvents[i]->AcquireReady())
                return WSA_WAIT_EVENT_0 + i;
        }
        // Another thread took an auto-reset event first: wait again. The
        // time-out restarts, which only matters to finite waits on shared
        // events, and no caller makes one.
    }
}

std::string InetNtoa(DWORD dwAddress) {
    char text[INET_ADDRSTRLEN] = "";
    in_addr addr{dwAddress};
    inet_ntop(AF_INET, &addr, text, sizeof text);
    return text;
}

DWORD InetAddr(const std::string& text) {
    return inet_addr(text.c_str());
}

bool GetHostName(std::string* pName) {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return false;
    *pName = name;
    return true;
}

std::vector<DWORD> GetHostAddresses(const std::string& name) {
    std::vector<DWORD> addresses;
    hostent host{};
    hostent* pResult = nullptr;
    int nError = 0;
    // gethostbyname_r keeps the hosts file's order, which getaddrinfo sorts.
    std::vector<char> work(8192);
    while (gethostbyname_r(name.c_str(), &host, work.data(), work.size(), &pResult, &nError) ==
           ERANGE)
        work.resize(work.size() * 2);
    if (pResult == nullptr || pResult->h_addrtype != AF_INET)
        return addresses;
    for (char** pp = pResult->h_addr_list; *pp != nullptr; ++pp) {
        DWORD dwAddress;
        memcpy(&dwAddress, *pp, sizeof dwAddress);
        addresses.push_back(dwAddress);
    }
    return addresses;
}

std::vector<CInterfaceAddress> GetInterfaceAddresses() {
    std::vector<CInterfaceAddress> addresses;
    ifaddrs* pList = nullptr;
    if (getifaddrs(&pList) != 0)
        return addresses;
    for (ifaddrs* p = pList; p != nullptr; p = p->ifa_next) {
        if (p->ifa_addr == nullptr || p->ifa_addr->sa_family != AF_INET)
            continue;
        const unsigned flags = p->ifa_flags;
        addresses.push_back(CInterfaceAddress{
            p->ifa_name, reinterpret_cast<const sockaddr_in*>(p->ifa_addr)->sin_addr.s_addr,
            (flags & IFF_UP) != 0, (flags & IFF_LOOPBACK) != 0, (flags & IFF_MULTICAST) != 0});
    }
    freeifaddrs(pList);
    return addresses;
}
