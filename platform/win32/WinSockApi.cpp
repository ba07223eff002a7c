#include "WinSockApi.h"

#include <winsock2.h>

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

int ReceiveFrom(uintptr_t s, void* pData, int nLength, int* pnError) {
    const int n = recvfrom(s, static_cast<char*>(pData), nLength, 0, nullptr, nullptr);
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

void* BindNetworkEvent(uintptr_t s, long lEvents, int* pnError) {
    WSAEVENT hEvent = WSACreateEvent();
    if (hEvent == WSA_INVALID_EVENT) {
        *pnError = WSAGetLastError();
        return nullptr;
    }
    if (WSAEventSelect(s, hEvent, lEvents) != 0) {
        *pnError = WSAGetLastError();
        WSACloseEvent(hEvent);
        return nullptr;
    }
    *pnError = 0;
    return hEvent;
}

void ReleaseNetworkEvent(uintptr_t s, void* hEvent) {
    WSAEventSelect(s, nullptr, 0);
    WSACloseEvent(hEvent);
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

} // namespace WinSock
