// An event-driven UDP endpoint with its own I/O thread: every datagram from
// another host is posted to the owner window, and queued datagrams are sent
// when the socket is writable. The address given to Enter chooses the mode:
// 0 broadcast, 224.0.0.0 and above multicast, anything else unicast.
#pragma once

#include "WinTypes.h"

#include <memory>

// Posted per accepted datagram: wParam the sender's address (network order),
// lParam a WSABUF the receiver frees (FreeWsaBuf).
constexpr UINT WM_UDP_DATA = WM_USER + 522;

class CUdpSocket {
public:
    // The received datagrams the owner may hold at once, in heap bytes of
    // records posted and not yet freed (CReceiveBudget::Cost each): beyond
    // it datagrams are read and dropped, with one diagnostic line a burst.
    // 16 MiB keeps a /16 full of phones answering one probe (63 bytes each).
    static constexpr size_t kReceiveBacklog = 16 * 1024 * 1024;

    CUdpSocket();
    // Leaves first if the owner forgot to, so no thread outlives the object.
    virtual ~CUdpSocket();
    CUdpSocket(const CUdpSocket&) = delete;
    CUdpSocket& operator=(const CUdpSocket&) = delete;

    // dwAddress in host order (first octet most significant); only the low
    // 16 bits of nPort count. Nonzero once the I/O thread runs; it opens the
    // socket afterwards, so success does not promise a usable socket.
    // dwLocalAddress (host order) is the address to bind and by which the
    // socket knows its own datagrams; 0 takes GetLocalHostAddress().
    BOOL Enter(HWND hWndOwner, UINT nNotifyMsg, DWORD dwAddress, UINT nPort, UINT nRecvSize,
               DWORD dwLocalAddress = 0);
    // Queues one datagram; pData must come from malloc and belongs to the
    // socket on success. 0 when no queue record could be made (the caller
    // keeps pData).
    int Write(char* pData, DWORD dwLength);
    // Stops the I/O thread (up to 3000 ms), closes the socket and releases
    // everything still queued. Harmless without Enter and a second time.
    void Leave();

    // The text traced for a failed group join with this WinSock code, or
    // null for a code without one.
    static const char* JoinErrorText(int nCode);

    // What the I/O thread shares with the object: owned jointly, so a thread
    // that outlives Leave never touches freed memory.
    struct CState;

private:
    BOOL prepare();
    void cleanup();

    std::shared_ptr<CState> m_pState;
    bool m_bThreadRunning = false;
};
