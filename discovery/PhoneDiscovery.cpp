#include "PhoneDiscovery.h"

#include "PhoneReply.h"
#include "Probe.h"

namespace {
// Any address below 224.0.0.0 but 0 selects unicast mode; the listening
// socket never sends, so this one is never dialled.
constexpr DWORD kListenAddress = 0xC0A80101; // 192.168.1.1
} // namespace

CPhoneDiscovery::CPhoneDiscovery(DWORD dwLocalAddress) : m_dwLocalAddress(dwLocalAddress) {}

CPhoneDiscovery::~CPhoneDiscovery() {
    Stop();
}

BOOL CPhoneDiscovery::Start() {
    if (GetSafeHwnd() != 0 || !Create())
        return FALSE;
    m_UdpSocket.Enter(GetSafeHwnd(), WM_UDP_DATA, kListenAddress, kReplyPort, kDiscoveryRecvSize,
                      m_dwLocalAddress);
    SendProbe();
    return TRUE;
}

void CPhoneDiscovery::Refresh() {
    m_PhoneRows.DeleteAllItems();
    SendProbe();
}

void CPhoneDiscovery::SendProbe() {
    SendDiscoveryProbe(GetSafeHwnd(), m_dwLocalAddress);
}

void CPhoneDiscovery::Stop() {
    m_UdpSocket.Leave();
    // Replies still queued for the window are freed with it.
    DestroyWindow();
}

LRESULT CPhoneDiscovery::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_UDP_DATA)
        OnUdpData(wParam, lParam);
    return 0;
}

void CPhoneDiscovery::OnUdpData(WPARAM, LPARAM lParam) {
    auto* pBuf = reinterpret_cast<WSABUF*>(lParam);
    PhoneTexts texts;
    if (DecodePhoneReply(reinterpret_cast<const BYTE*>(pBuf->buf), pBuf->len, &texts))
        m_PhoneRows.AddRow(texts);
    FreeWsaBuf(pBuf);
}
