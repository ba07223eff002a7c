#include "WinSockApi.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>

namespace WinSock {

int Startup(uint16_t wRequested, uint16_t* pwVersion, uint16_t* pwHighVersion) {
    WSADATA data;
    const int nError = WSAStartup(wRequested, &data);
    if (nError == 0) {
        *pwVersion = data.wVersion;
        *pwHighVersion = data.wHighVersion;
    }
    return nError;
}

int EnumProtocols(const int* pnProtocols, std::vector<Protocol>* pProtocols) {
    DWORD dwSize = 0;
    // The size first; the catalogue may grow before the second call.
    for (int nTry = 0; nTry < 3; ++nTry) {
        std::vector<char> buffer(dwSize);
        auto* pInfo = dwSize != 0 ? reinterpret_cast<WSAPROTOCOL_INFOA*>(buffer.data()) : nullptr;
        const int nCount = WSAEnumProtocolsA(const_cast<int*>(pnProtocols), pInfo, &dwSize);
        if (nCount != SOCKET_ERROR) {
            pProtocols->clear();
            for (int i = 0; i < nCount; ++i)
                pProtocols->push_back(Protocol{pInfo[i].iAddressFamily, pInfo[i].iMaxSockAddr,
                                               pInfo[i].iMinSockAddr, pInfo[i].iSocketType,
                                               pInfo[i].iProtocol});
            return 0;
        }
        if (WSAGetLastError() != WSAENOBUFS)
            return WSAGetLastError();
    }
    return WSAENOBUFS;
}

void Cleanup() {
    WSACleanup();
}

uintptr_t Socket(int nFamily, int nType, int nProtocol, int* pnError) {
    const SOCKET s = socket(nFamily, nType, nProtocol);
    *pnError = s == INVALID_SOCKET ? WSAGetLastError() : 0;
    return s;
}

int SetSockOpt(uintptr_t s, int nLevel, int nName, const void* pValue, int nLength) {
    return setsockopt(s, nLevel, nName, static_cast<const char*>(pValue), nLength) == 0
               ? 0
               : WSAGetLastError();
}

int CloseSocket(uintptr_t s) {
    return closesocket(s) == 0 ? 0 : WSAGetLastError();
}

int Connect(uintptr_t s, const void* pAddress, int nLength) {
    return WSAConnect(s, static_cast<const sockaddr*>(pAddress), nLength, nullptr, nullptr, nullptr,
                      nullptr) == 0
               ? 0
               : WSAGetLastError();
}

int Send(uintptr_t s, const void* pData, int nLength, int* pnError) {
    const int n = send(s, static_cast<const char*>(pData), nLength, 0);
    *pnError = n < 0 ? WSAGetLastError() : 0;
    return n;
}

int Receive(uintptr_t s, void* pData, int nLength, int* pnError) {
    const int n = recv(s, static_cast<char*>(pData), nLength, 0);
    *pnError = n < 0 ? WSAGetLastError() : 0;
    return n;
}

int Bind(uintptr_t s, const void* pAddress, int nLength) {
    return bind(s, static_cast<const sockaddr*>(pAddress), nLength) == 0 ? 0 : WSAGetLastError();
}

int SendTo(uintptr_t s, const void* pData, int nLength, const void* pAddress, int nAddressLength,
           int* pnError) {
    const int n = sendto(s, static_cast<const char*>(pData), nLength, 0,
                         static_cast<const sockaddr*>(pAddress), nAddressLength);
    *pnError = n < 0 ? WSAGetLastError() : 0;
    return n;
}

int ReceiveFrom(uintptr_t s, void* pData, int nLength, void* pFrom, int* pnError) {
    int nFromLength = sizeof(sockaddr_in);
    const int n = recvfrom(s, static_cast<char*>(pData), nLength, 0, static_cast<sockaddr*>(pFrom),
                           pFrom != nullptr ? &nFromLength : nullptr);
    *pnError = n < 0 ? WSAGetLastError() : 0;
    return n;
}

bool WaitReadable(uintptr_t s, uint32_t dwMilliseconds) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    timeval timeout{static_cast<long>(dwMilliseconds / 1000),
                    static_cast<long>(dwMilliseconds % 1000) * 1000};
    return select(0, &readable, nullptr, nullptr, &timeout) == 1;
}

int AsyncSelect(uintptr_t s, uintptr_t hWnd, unsigned message, long lEvents) {
    return WSAAsyncSelect(s, reinterpret_cast<HWND>(hWnd), message, lEvents) == 0
               ? 0
               : WSAGetLastError();
}

int EventSelect(uintptr_t s, void* hEvent, long lEvents) {
    return WSAEventSelect(s, hEvent, lEvents) == 0 ? 0 : WSAGetLastError();
}

int EnumNetworkEvents(uintptr_t s, void* hEvent, long* plEvents, int anErrors[10]) {
    WSANETWORKEVENTS events;
    if (WSAEnumNetworkEvents(s, hEvent, &events) != 0)
        return WSAGetLastError();
    *plEvents = events.lNetworkEvents;
    for (int i = 0; i < FD_MAX_EVENTS; ++i)
        anErrors[i] = events.iErrorCode[i];
    return 0;
}

uint32_t WaitForAny(void* const* phEvents, uint32_t nCount, uint32_t dwMilliseconds) {
    const DWORD rc = WSAWaitForMultipleEvents(nCount, phEvents, FALSE, dwMilliseconds, FALSE);
    if (rc == WSA_WAIT_TIMEOUT)
        return WSA_WAIT_TIMEOUT;
    if (rc >= WSA_WAIT_EVENT_0 && rc < WSA_WAIT_EVENT_0 + nCount)
        return rc - WSA_WAIT_EVENT_0;
    return WSA_WAIT_FAILED;
}

std::string AddressText(uint32_t dwAddress) {
    in_addr address{};
    address.s_addr = dwAddress;
    char text[INET_ADDRSTRLEN] = "";
    return inet_ntop(AF_INET, &address, text, sizeof text) != nullptr ? text : "";
}

uint32_t ParseAddress(const char* pszText) {
    return inet_addr(pszText);
}

bool HostName(std::string* pName) {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return false;
    *pName = name;
    return true;
}

std::vector<uint32_t> HostAddresses(const char* pszName) {
    std::vector<uint32_t> addresses;
    // The result is the calling thread's own, as WinSock keeps it.
    const hostent* pHost = gethostbyname(pszName);
    if (pHost == nullptr || pHost->h_addrtype != AF_INET)
        return addresses;
    for (char** pp = pHost->h_addr_list; *pp != nullptr; ++pp) {
        uint32_t dwAddress;
        memcpy(&dwAddress, *pp, sizeof dwAddress);
        addresses.push_back(dwAddress);
    }
    return addresses;
}

std::vector<Interface> Interfaces() {
    std::vector<Interface> interfaces;
    const SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET)
        return interfaces;
    INTERFACE_INFO list[64];
    DWORD dwBytes = 0;
    if (WSAIoctl(s, SIO_GET_INTERFACE_LIST, nullptr, 0, list, sizeof list, &dwBytes, nullptr,
                 nullptr) == 0) {
        for (DWORD i = 0; i < dwBytes / sizeof(INTERFACE_INFO); ++i) {
            const u_long flags = list[i].iiFlags;
            interfaces.push_back(Interface{list[i].iiAddress.AddressIn.sin_addr.s_addr,
                                           (flags & IFF_UP) != 0, (flags & IFF_LOOPBACK) != 0,
                                           (flags & IFF_MULTICAST) != 0});
        }
    }
    closesocket(s);
    return interfaces;
}

} // namespace WinSock
