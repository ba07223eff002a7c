// The Linux side of WinSockCatalog.h: sockets need no start-up, and the
// catalogue is what the system lets us make now.
#include "WinSockCatalog.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <netinet/in.h>
#include <vector>

namespace {

thread_local int t_nLastError = 0;

constexpr WORD kHighestVersion = 0x0202; // 2.2
constexpr int kInetAddressSize = sizeof(sockaddr_in);

// Can a socket of this kind be made now (PlatformSocket, so tests may say no)?
bool CanMake(int nType, int nProtocol) {
    const SOCKET s = PlatformSocket(AF_INET, nType, nProtocol);
    if (s == INVALID_SOCKET)
        return false;
    PlatformCloseSocket(s);
    return true;
}

bool Wanted(const int* piProtocols, int nProtocol) {
    if (piProtocols == nullptr)
        return true;
    for (const int* p = piProtocols; *p != 0; ++p)
        if (*p == nProtocol)
            return true;
    return false;
}

} // namespace

int WSAStartup(WORD wVersionRequested, WSADATA* pData) {
    if ((wVersionRequested & 0xFF) < 1)
        return WSAVERNOTSUPPORTED;
    // A send to a peer that has reset raises SIGPIPE where WinSock reports
    // an error, which is what the transport expects.
    std::signal(SIGPIPE, SIG_IGN);
    // As WinSock: the version asked for when it is available, else the highest.
    const WORD wMajorMinor =
        static_cast<WORD>(((wVersionRequested & 0xFF) << 8) | (wVersionRequested >> 8));
    pData->wVersion = wMajorMinor <= 0x0202 ? wVersionRequested : kHighestVersion;
    pData->wHighVersion = kHighestVersion;
    return 0;
}

int WSACleanup() {
    return 0;
}

int WSAEnumProtocols(const int* piProtocols, WSAPROTOCOL_INFO* pBuffer, DWORD* pdwBufferLength) {
    std::vector<WSAPROTOCOL_INFO> entries;
    if (Wanted(piProtocols, IPPROTO_TCP) && CanMake(SOCK_STREAM, IPPROTO_TCP))
        entries.push_back({AF_INET, kInetAddressSize, kInetAddressSize, SOCK_STREAM, IPPROTO_TCP});
    if (Wanted(piProtocols, IPPROTO_UDP) && CanMake(SOCK_DGRAM, IPPROTO_UDP))
        entries.push_back({AF_INET, kInetAddressSize, kInetAddressSize, SOCK_DGRAM, IPPROTO_UDP});
    const DWORD dwNeeded = static_cast<DWORD>(entries.size() * sizeof(WSAPROTOCOL_INFO));
    if (pBuffer == nullptr || *pdwBufferLength < dwNeeded) {
        *pdwBufferLength = dwNeeded;
        t_nLastError = WSAENOBUFS;
        return SOCKET_ERROR;
    }
    if (!entries.empty())
        memcpy(pBuffer, entries.data(), dwNeeded);
    return static_cast<int>(entries.size());
}

int WSAGetLastError() {
    return t_nLastError;
}
