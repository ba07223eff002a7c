// The Windows side of WinSockCatalog.h: WinSock's own start-up and
// catalogue, each entry cut down to the fields start-up tests.
#include "WinSockCatalog.h"

#include "WinSockApi.h"

#include <cstring>
#include <vector>

namespace {
thread_local int t_nLastError = 0;
} // namespace

int WSAStartup(WORD wVersionRequested, WSADATA* pData) {
    uint16_t wVersion = 0, wHighVersion = 0;
    const int nError = WinSock::Startup(wVersionRequested, &wVersion, &wHighVersion);
    if (nError == 0) {
        pData->wVersion = wVersion;
        pData->wHighVersion = wHighVersion;
    }
    return nError;
}

int WSACleanup() {
    WinSock::Cleanup();
    return 0;
}

int WSAEnumProtocols(const int* piProtocols, WSAPROTOCOL_INFO* pBuffer, DWORD* pdwBufferLength) {
    std::vector<WinSock::Protocol> protocols;
    const int nError = WinSock::EnumProtocols(piProtocols, &protocols);
    if (nError != 0) {
        t_nLastError = nError;
        return SOCKET_ERROR;
    }
    const DWORD dwNeeded = static_cast<DWORD>(protocols.size() * sizeof(WSAPROTOCOL_INFO));
    if (pBuffer == nullptr || *pdwBufferLength < dwNeeded) {
        *pdwBufferLength = dwNeeded;
        t_nLastError = WSAENOBUFS;
        return SOCKET_ERROR;
    }
    for (size_t i = 0; i < protocols.size(); ++i)
        pBuffer[i] = WSAPROTOCOL_INFO{protocols[i].nAddressFamily, protocols[i].nMaxSockAddr,
                                      protocols[i].nMinSockAddr, protocols[i].nSocketType,
                                      protocols[i].nProtocol};
    return static_cast<int>(protocols.size());
}

int WSAGetLastError() {
    return t_nLastError;
}
