#include "WinSock.h"

#include "Trace.h"
#include "WinSockCatalog.h"

#include <cstdlib>

namespace {
constexpr WORD kVersion20 = 0x0002; // major 2 in the low byte, minor 0 in the high
constexpr int kInetAddressSize = 16;

WSAPROTOCOL_INFO* m_pProtocolsInfo = nullptr;
const WSAPROTOCOL_INFO* m_pTcpProtocol = nullptr;
} // namespace

bool WinSock2Init() {
    m_pProtocolsInfo = nullptr;
    m_pTcpProtocol = nullptr;
    WSADATA data{};
    if (WSAStartup(kVersion20, &data) != 0) {
        OutputDebugStringA("Could not find high enough version of WinSock\n");
        return false;
    }
    if (data.wVersion != kVersion20) {
        OutputDebugStringA("Could not find the correct version of WinSock\n");
        WinSock2Free();
        return false;
    }
    DWORD dwSize = 0;
    if (WSAEnumProtocols(nullptr, nullptr, &dwSize) != SOCKET_ERROR ||
        WSAGetLastError() != WSAENOBUFS) {
        OutputDebugStringA("WSAEnumProtocols is broken\n");
        WinSock2Free();
        return false;
    }
    m_pProtocolsInfo = static_cast<WSAPROTOCOL_INFO*>(malloc(dwSize != 0 ? dwSize : 1));
    if (m_pProtocolsInfo == nullptr) {
        OutputDebugStringA("malloc m_pProtocolsInfo failed\n");
        WinSock2Free();
        return false;
    }
    const int nCount = WSAEnumProtocols(nullptr, m_pProtocolsInfo, &dwSize);
    if (nCount == SOCKET_ERROR) {
        OutputDebugStringA("WSAEnumProtocols failed\n");
        WinSock2Free();
        return false;
    }
    for (int i = 0; i < nCount; ++i) {
        const WSAPROTOCOL_INFO& entry = m_pProtocolsInfo[i];
        if (entry.iAddressFamily == AF_INET && entry.iSocketType == SOCK_STREAM &&
            entry.iProtocol == IPPROTO_TCP && entry.iMaxSockAddr == kInetAddressSize) {
            m_pTcpProtocol = &entry;
            OutputDebugStringA("WinSock2 Init\n");
            return true;
        }
    }
    WinSock2Free();
    return false;
}

void WinSock2Free() {
    OutputDebugStringA("WinSock2 Free\n");
    free(m_pProtocolsInfo);
    m_pProtocolsInfo = nullptr;
    m_pTcpProtocol = nullptr;
    WSACleanup();
}
