#include "Rj45SocketWnd.h"

#include "LinkEvents.h"
#include "Profile.h"

#include <cstring>

namespace {

constexpr DWORD kDefaultPeerAddress = 0xC0A80101; // 192.168.1.1
constexpr DWORD kDefaultPeerPort = 8739;
constexpr BYTE kAck = 0xFF;
constexpr DWORD kReadBlockSize = 128;

// Host form (first octet in the top byte) to network order: the first octet
// becomes the first byte in memory.
DWORD NetworkOrder(DWORD dwHostForm) {
    const BYTE octets[4] = {static_cast<BYTE>(dwHostForm >> 24),
                            static_cast<BYTE>(dwHostForm >> 16), static_cast<BYTE>(dwHostForm >> 8),
                            static_cast<BYTE>(dwHostForm)};
    DWORD dwNetwork;
    memcpy(&dwNetwork, octets, sizeof dwNetwork);
    return dwNetwork;
}

} // namespace

CRj45SocketWnd::~CRj45SocketWnd() = default;

LRESULT CRj45SocketWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        return OnCreate();
    case WM_DESTROY:
        CMsgWnd::WindowProc(message, wParam, lParam);
        m_socket.Hangup();
        return 0;
    case WM_TCP_CONNECT:
        OnTcpConnect(wParam, lParam);
        return 0;
    case WM_TCP_DATA:
        OnTcpData(wParam, reinterpret_cast<WSABUF*>(lParam));
        return 0;
    case WM_TCP_CLOSED:
        OnTcpClosed(wParam);
        return 0;
    default:
        return CMsgWnd::WindowProc(message, wParam, lParam);
    }
}

LRESULT CRj45SocketWnd::OnCreate() {
    if (CMsgWnd::WindowProc(WM_CREATE, 0, 0) == -1)
        return -1;
    const DWORD dwAddress =
        GetProfileInt("Peer", "IPAddress", static_cast<int>(kDefaultPeerAddress));
    const DWORD nPort = GetProfileInt("Peer", "Port", kDefaultPeerPort);
    // A connect that fails to start only shows as StartLink's time-out.
    m_socket.Call(NetworkOrder(dwAddress), GetSafeHwnd(), nPort);
    return 0;
}

void CRj45SocketWnd::OnTcpConnect(WPARAM wParam, LPARAM lParam) {
    if (wParam != static_cast<WPARAM>(m_socket.GetSocket()))
        return;
    if (m_socket.OnConnect(lParam))
        SetEvent(g_hLinkAckEvent);
    else
        m_socket.Close();
}

void CRj45SocketWnd::OnTcpData(WPARAM wParam, WSABUF* pBuf) {
    if (wParam == static_cast<WPARAM>(m_socket.GetSocket())) {
        if (!m_bReadMode) {
            // Only a receive of exactly the one byte 0xFF acknowledges.
            if (pBuf->len == 1 && static_cast<BYTE>(pBuf->buf[0]) == kAck)
                SetEvent(g_hLinkAckEvent);
        } else if (pBuf->len == kReadBlockSize && m_nReadOffset + kReadBlockSize <= m_nReadRoom) {
            memcpy(m_pReadBuffer + m_nReadOffset, pBuf->buf, kReadBlockSize);
            m_nReadOffset += kReadBlockSize;
            SetEvent(g_hLinkAckEvent);
        }
    }
    FreeWsaBuf(pBuf);
}

void CRj45SocketWnd::OnTcpClosed(WPARAM wParam) {
    if (wParam == static_cast<WPARAM>(m_socket.GetSocket()))
        m_socket.Close();
}

void CRj45SocketWnd::SetReadMode(DWORD nRoom, BYTE* pBuffer) {
    if (nRoom != 0) {
        m_bReadMode = 1;
        m_nReadOffset = 0;
        m_pReadBuffer = pBuffer;
        m_nReadRoom = nRoom;
    } else {
        m_bReadMode = 0;
    }
}
