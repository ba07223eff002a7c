// The link worker's hidden window: holds the TCP connection to the phone and
// turns the phone's replies into signals of the acknowledgement event.
#pragma once

#include "MsgWnd.h"
#include "TcpSocket.h"

class CRj45SocketWnd : public CMsgWnd {
public:
    CRj45SocketWnd() = default;
    ~CRj45SocketWnd() override;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // Read mode on with nRoom bytes behind pBuffer (nRoom 0: off).
    void SetReadMode(DWORD nRoom, BYTE* pBuffer);

    CTcpSocket m_socket;
    int m_bReadMode = 0;
    DWORD m_nReadOffset = 0;
    BYTE* m_pReadBuffer = nullptr;
    // The room the poster gave; a reply that would not fit is dropped.
    DWORD m_nReadRoom = 0;

private:
    LRESULT OnCreate();
    void OnTcpConnect(WPARAM wParam, LPARAM lParam);
    void OnTcpData(WPARAM wParam, WSABUF* pBuf);
    void OnTcpClosed(WPARAM wParam);
};
