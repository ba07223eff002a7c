// The Windows side of SocketApi.h: WinSock's own calls. The network events
// are WinSock's too: WSAEventSelect binds the CEvent's event object itself,
// and WSAEnumNetworkEvents fetches what WinSock recorded. Errors are left in
// errno as WinSock's codes.
#include "SocketApi.h"

#include "SocketApiHooks.h"
#include "WinSockApi.h"

#include <cerrno>
#include <chrono>

namespace {

int Fail(int nError) {
    errno = nError;
    return SOCKET_ERROR;
}

int Result(int nError) {
    return nError == 0 ? 0 : Fail(nError);
}

// A byte count, or SOCKET_ERROR with the error in errno.
int Count(int n, int nError) {
    return n < 0 ? Fail(nError) : n;
}

} // namespace

SOCKET PlatformSocket(int domain, int type, int protocol) {
    const auto fnHook = GetSocketApiHooks().fnSocket;
    // A hook only ever fails the call here; a real socket comes from WinSock,
    // whose sockets no started program inherits.
    if (fnHook && fnHook(domain, type, protocol) < 0)
        return INVALID_SOCKET;
    int nError = 0;
    const SOCKET s = WinSock::Socket(domain, type, protocol, &nError);
    if (s == INVALID_SOCKET)
        errno = nError;
    return s;
}

int PlatformSetSockOpt(SOCKET s, int level, int name, const void* pValue, socklen_t len) {
    const auto fnHook = GetSocketApiHooks().fnSetSockOpt;
    if (fnHook && fnHook(static_cast<int>(s), level, name, pValue, len) < 0)
        return SOCKET_ERROR;
    return Result(WinSock::SetSockOpt(s, level, name, pValue, len));
}

int PlatformCloseSocket(SOCKET s) {
    return Result(WinSock::CloseSocket(s));
}

int PlatformBind(SOCKET s, const sockaddr_in& address) {
    return Result(WinSock::Bind(s, &address, sizeof address));
}

int PlatformSend(SOCKET s, const void* pData, int nLength) {
    int nError = 0;
    const int n = WinSock::Send(s, pData, nLength, &nError);
    return Count(n, nError);
}

int PlatformReceive(SOCKET s, void* pData, int nLength) {
    int nError = 0;
    const int n = WinSock::Receive(s, pData, nLength, &nError);
    return Count(n, nError);
}

int PlatformSendTo(SOCKET s, const void* pData, int nLength, const sockaddr_in& to) {
    int nError = 0;
    const int n = WinSock::SendTo(s, pData, nLength, &to, sizeof to, &nError);
    return Count(n, nError);
}

int PlatformReceiveFrom(SOCKET s, void* pData, int nLength, sockaddr_in* pFrom) {
    int nError = 0;
    const int n = WinSock::ReceiveFrom(s, pData, nLength, pFrom, &nError);
    return Count(n, nError);
}

int WSAEventSelect(SOCKET s, HEVENT hEvent, long lNetworkEvents) {
    return Result(WinSock::EventSelect(s, hEvent != nullptr ? hEvent->GetNative() : nullptr,
                                       hEvent != nullptr ? lNetworkEvents : 0));
}

int WSAEnumNetworkEvents(SOCKET s, HEVENT hEvent, WSANETWORKEVENTS* pEvents) {
    *pEvents = WSANETWORKEVENTS{};
    long lEvents = 0;
    int anErrors[FD_MAX_EVENTS] = {};
    const int nError = WinSock::EnumNetworkEvents(s, hEvent->GetNative(), &lEvents, anErrors);
    if (nError != 0)
        return Fail(nError);
    pEvents->lNetworkEvents = lEvents;
    for (int i = 0; i < FD_MAX_EVENTS; ++i)
        pEvents->iErrorCode[i] = anErrors[i];
    return 0;
}

DWORD WSAWaitForMultipleEvents(DWORD nCount, HEVENT const* phEvents, DWORD dwMilliseconds) {
    void* handles[64];
    if (nCount > 64)
        return WSA_WAIT_FAILED;
    for (DWORD i = 0; i < nCount; ++i)
        handles[i] = phEvents[i]->GetNative();
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(dwMilliseconds);
    for (;;) {
        DWORD dwWait = INFINITE;
        if (dwMilliseconds != INFINITE) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            dwWait = left.count() > 0 ? static_cast<DWORD>(left.count()) : 0;
        }
        const uint32_t rc = WinSock::WaitForAny(handles, nCount, dwWait);
        // Windows may end a wait on a clock tick a little early.
        if (rc == WSA_WAIT_TIMEOUT && dwMilliseconds != INFINITE && Clock::now() < deadline)
            continue;
        return rc;
    }
}

std::string InetNtoa(DWORD dwAddress) {
    return WinSock::AddressText(dwAddress);
}

DWORD InetAddr(const std::string& text) {
    return WinSock::ParseAddress(text.c_str());
}

bool GetHostName(std::string* pName) {
    return WinSock::HostName(pName);
}

std::vector<DWORD> GetHostAddresses(const std::string& name) {
    const std::vector<uint32_t> addresses = WinSock::HostAddresses(name.c_str());
    return std::vector<DWORD>(addresses.begin(), addresses.end());
}

std::vector<CInterfaceAddress> GetInterfaceAddresses() {
    std::vector<CInterfaceAddress> addresses;
    int nIndex = 0;
    // WinSock names no interface: the list's own numbering stands in.
    for (const WinSock::Interface& entry : WinSock::Interfaces())
        addresses.push_back(CInterfaceAddress{"#" + std::to_string(nIndex++), entry.dwAddress,
                                              entry.bUp, entry.bLoopback, entry.bMulticast});
    return addresses;
}
