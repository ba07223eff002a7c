// The TCP client socket of the phone link: a connect that never blocks, then
// an I/O thread that sends the queued buffers and posts every received chunk
// to the owner window.
#pragma once

#include "AsyncSelect.h"
#include "Event.h"
#include "ReceiveBudget.h"
#include "WinTypes.h"

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

constexpr UINT WM_TCP_CONNECT = WM_USER + 513; // wParam socket, lParam select reply
constexpr UINT WM_TCP_DATA = WM_USER + 514;    // wParam socket, lParam WSABUF* (owner frees)
constexpr UINT WM_TCP_CLOSED = WM_USER + 515;  // wParam socket, lParam remote address

class CTcpSocket {
public:
    // The received data the owner may hold at once, in heap bytes of records
    // posted and not yet freed (CReceiveBudget::Cost each): at the bound the
    // I/O thread stops reading, so TCP's window holds the peer back, and it
    // reads on once the owner has freed half of it.
    static constexpr size_t kReceiveBacklog = 128 * 1024;

    CTcpSocket();
    virtual ~CTcpSocket();
    CTcpSocket(const CTcpSocket&) = delete;
    CTcpSocket& operator=(const CTcpSocket&) = delete;

    // Starts a connect to dwAddress (network byte order) on nPort (0: 8739);
    // WM_TCP_CONNECT reaches hWndOwner when it completes.
    BOOL Call(DWORD dwAddress, HWND hWndOwner, DWORD nPort);
    // Takes the select reply of WM_TCP_CONNECT; non-zero once connected.
    DWORD OnConnect(LPARAM lSelectReply);
    // Queues a copy of at most 1536 bytes.
    BOOL Write(const void* pData, DWORD nCount);
    void Hangup();
    void Close();
    BOOL PrepareConnectionData();

    SOCKET GetSocket() const { return m_hSocket; }

private:
    // I/O thread.
    int HandleNetworkEvent();
    int HandleOutputEvent();
    static DWORD TcpSocketThread(CTcpSocket* pSocket);

    SOCKET m_hSocket = INVALID_SOCKET;
    DWORD m_dwRemoteAddress = 0;
    std::string m_strRemote;
    HWND m_hWndOwner = 0;
    DWORD m_nPort = 0;
    std::thread m_hThread;
    // Bound to the socket's network events once connected.
    std::unique_ptr<CEvent> m_hNetworkEvent;
    std::unique_ptr<CEvent> m_hOutputEvent;
    std::unique_ptr<CEvent> m_hHangupEvent;
    HEVENT m_hEvents[3] = {nullptr, nullptr, nullptr};
    // Received records the owner has not yet freed; made with the events.
    std::shared_ptr<CReceiveBudget> m_pReceived;
    int m_bCanWrite = 0;
    std::deque<WSABUF*> m_sendQueue;
    std::mutex m_csSendQueue;
};
