#include "TcpSocket.h"

#include "MessageQueue.h"
#include "SocketApi.h"
#include "Trace.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <system_error>
#include <unistd.h>

namespace {

constexpr DWORD kDefaultPort = 8739;
constexpr DWORD kBlockSize = 1536;  // every queued and received data block
constexpr DWORD kMaxReceive = 1535; // one receive
// What one received record holds of the owner's heap, whatever its length.
const size_t kReceivedRecordCost = CReceiveBudget::Cost(kBlockSize);

// The two connect failures are logged in GB2312 after the dotted address:
// " 处没有应用程序应答\n" (no application answers there) and " 没有在网络上\n"
// (not on the network).
const char kRefusedText[] =
    " \xB4\xA6\xC3\xBB\xD3\xD0\xD3\xA6\xD3\xC3\xB3\xCC\xD0\xF2\xD3\xA6\xB4\xF0\n";
const char kUnreachableText[] = " \xC3\xBB\xD3\xD0\xD4\xDA\xCD\xF8\xC2\xE7\xC9\xCF\n";

struct WSANETWORKEVENTS {
    long lNetworkEvents = 0;
    int iErrorCode[FD_MAX_EVENTS] = {};
};

// WSAEnumNetworkEvents from the readiness the wait reported. The peer's close
// counts only once the data it sent before it has been read, as WinSock
// reports FD_CLOSE.
bool EnumNetworkEvents(SOCKET s, short nRevents, WSANETWORKEVENTS* pEvents) {
    if (nRevents & POLLNVAL)
        return false;
    int nError = 0;
    if (nRevents & POLLERR) {
        int nErrno = 0;
        socklen_t len = sizeof nErrno;
        if (getsockopt(s, SOL_SOCKET, SO_ERROR, &nErrno, &len) < 0)
            return false;
        nError = WsaErrorFromErrno(nErrno);
    }
    if (nRevents & (POLLIN | POLLRDHUP | POLLHUP | POLLERR)) {
        pEvents->lNetworkEvents |= FD_READ;
        pEvents->iErrorCode[FD_READ_BIT] = nError;
        // Only a peer that has shut down or failed can close the link, and
        // only once nothing it sent is left unread; plain data needs no peek.
        if (nRevents & (POLLRDHUP | POLLHUP | POLLERR)) {
            char c;
            const ssize_t n = recv(s, &c, 1, MSG_PEEK | MSG_DONTWAIT);
            if (n < 0 && nError == 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                nError = WsaErrorFromErrno(errno);
            if (n == 0 || nError != 0) {
                pEvents->lNetworkEvents |= FD_CLOSE;
                pEvents->iErrorCode[FD_CLOSE_BIT] = nError;
            }
        }
    }
    if (nRevents & POLLOUT) {
        pEvents->lNetworkEvents |= FD_WRITE;
        pEvents->iErrorCode[FD_WRITE_BIT] = nError;
    }
    return true;
}

WSABUF* AllocWsaBuf() {
    auto* pBuf = static_cast<WSABUF*>(malloc(sizeof(WSABUF)));
    char* pData = static_cast<char*>(malloc(kBlockSize));
    if (pBuf == nullptr || pData == nullptr) {
        free(pData);
        free(pBuf);
        return nullptr;
    }
    pBuf->len = 0;
    pBuf->buf = pData;
    return pBuf;
}

// Frees a WM_TCP_DATA record the owner window can no longer receive.
void ReleaseWsaBuf(LPARAM lParam) {
    FreeWsaBuf(reinterpret_cast<WSABUF*>(lParam));
}

} // namespace

CTcpSocket::CTcpSocket() = default;

CTcpSocket::~CTcpSocket() {
    Close();
}

BOOL CTcpSocket::Call(DWORD dwAddress, HWND hWndOwner, DWORD nPort) {
    Close(); // a second Call starts over
    m_hWndOwner = hWndOwner;
    m_nPort = nPort != 0 ? nPort : kDefaultPort;
    if (!PrepareConnectionData())
        return FALSE;
    m_hSocket = PlatformSocket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (m_hSocket == INVALID_SOCKET) {
        OutputDebugStringA("Could not open a socket in Call\n");
        Close();
        return FALSE;
    }
    WSAAsyncSelect(m_hSocket, m_hWndOwner, WM_TCP_CONNECT, FD_CONNECT);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(m_nPort & 0xFFFF));
    addr.sin_addr.s_addr = dwAddress; // already in network order
    if (WSAConnect(m_hSocket, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) {
        OutputDebugStringA("WSAConnect should have returned SOCKET_ERROR\n");
        Close();
        return FALSE;
    }
    if (WsaErrorFromErrno(errno) != WSAEWOULDBLOCK) {
        OutputDebugStringA("WSAConnect failed\n");
        Close();
        return FALSE;
    }
    m_dwRemoteAddress = dwAddress;
    char text[INET_ADDRSTRLEN] = "";
    inet_ntop(AF_INET, &addr.sin_addr, text, sizeof text);
    m_strRemote = text;
    OutputDebugStringA("Calling " + m_strRemote + "\n");
    return TRUE;
}

BOOL CTcpSocket::PrepareConnectionData() {
    m_hNetworkEvent.reset(CreateEventA(false, false));
    m_hOutputEvent.reset(CreateEventA(false, false));
    m_hHangupEvent.reset(CreateEventA(true, false));
    m_pReceived = CReceiveBudget::Create(kReceiveBacklog);
    if (m_hNetworkEvent && m_hOutputEvent && m_hHangupEvent && m_pReceived->RoomEvent().IsValid()) {
        m_hEvents[0] = m_hNetworkEvent.get();
        m_hEvents[1] = m_hOutputEvent.get();
        m_hEvents[2] = m_hHangupEvent.get();
        return TRUE;
    }
    OutputDebugStringA("CreateEvent fail in Prepare connection data\n");
    Close();
    return FALSE;
}

DWORD CTcpSocket::OnConnect(LPARAM lSelectReply) {
    const int nError = WSAGETSELECTERROR(lSelectReply);
    if (nError == 0) {
        WSAAsyncSelect(m_hSocket, m_hWndOwner, 0, 0);
        // The I/O thread waits on the socket itself in the network event's slot.
        try {
            m_hThread = std::thread(TcpSocketThread, this);
        } catch (const std::system_error&) {
            OutputDebugStringA("CreateThread() failed in OnConnect()\n");
            Close();
            return 0;
        }
        OutputDebugStringA(m_strRemote + " joined the meeting\n");
        return m_dwRemoteAddress;
    }
    OutputDebugStringA(m_strRemote + (nError == WSAECONNREFUSED ? kRefusedText : kUnreachableText));
    Close();
    return 0;
}

BOOL CTcpSocket::Write(const void* pData, DWORD nCount) {
    if (!m_hOutputEvent)
        return FALSE;
    if (nCount > kBlockSize) {
        OutputDebugStringA("Too much data in CTcpSocket::Write\n");
        return FALSE;
    }
    WSABUF* pBuf = AllocWsaBuf();
    if (pBuf == nullptr) {
        OutputDebugStringA("malloc failed in CTcpSocket::Write\n");
        return FALSE;
    }
    if (nCount != 0)
        memcpy(pBuf->buf, pData, nCount);
    pBuf->len = nCount;
    {
        std::lock_guard<std::mutex> lock(m_csSendQueue);
        m_sendQueue.push_back(pBuf);
    }
    m_hOutputEvent->Set();
    return TRUE;
}

int CTcpSocket::HandleNetworkEvent(short nRevents) {
    WSANETWORKEVENTS events;
    if (!EnumNetworkEvents(m_hSocket, nRevents, &events)) {
        OutputDebugStringA("WSAEnumNetworkEvents failed\n");
        return FALSE;
    }
    if (events.lNetworkEvents & FD_READ) {
        if (events.iErrorCode[FD_READ_BIT] == WSAENETDOWN) {
            OutputDebugStringA("Error in FD_READ\n");
            return FALSE;
        }
        WSABUF* pBuf = AllocWsaBuf();
        if (pBuf == nullptr) {
            OutputDebugStringA("malloc failed in CTcpSocket::HandleNetworkEvent()\n");
            return FALSE;
        }
        const ssize_t n = recv(m_hSocket, pBuf->buf, kMaxReceive, MSG_DONTWAIT);
        if (n < 0 && WsaErrorFromErrno(errno) != WSAEWOULDBLOCK) {
            FreeWsaBuf(pBuf);
            OutputDebugStringA("The remote party has reset the connection or other err\n");
            return FALSE;
        }
        pBuf->len = n < 0 ? 0 : static_cast<uint32_t>(n);
        m_pReceived->Charge(pBuf, kReceivedRecordCost);
        PostMessage(m_hWndOwner, WM_TCP_DATA, static_cast<WPARAM>(m_hSocket),
                    reinterpret_cast<LPARAM>(pBuf), ReleaseWsaBuf);
    }
    if (events.lNetworkEvents & FD_WRITE) {
        if (events.iErrorCode[FD_WRITE_BIT] == WSAENETDOWN) {
            OutputDebugStringA("Error in FD_WRITE\n");
            return FALSE;
        }
        m_bCanWrite = 1;
        m_hOutputEvent->Set();
    }
    if (events.lNetworkEvents & FD_CLOSE) {
        if (events.iErrorCode[FD_CLOSE_BIT] != 0)
            OutputDebugStringA("Socket aborted\n");
        return FALSE;
    }
    return TRUE;
}

int CTcpSocket::HandleOutputEvent() {
    if (m_bCanWrite == 0)
        return TRUE;
    int nResult = TRUE;
    std::lock_guard<std::mutex> lock(m_csSendQueue);
    while (!m_sendQueue.empty() && m_bCanWrite == 1) {
        WSABUF* pBuf = m_sendQueue.front();
        m_sendQueue.pop_front();
        const ssize_t n = send(m_hSocket, pBuf->buf, pBuf->len, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0) {
            if (static_cast<uint32_t>(n) != pBuf->len) {
                OutputDebugStringA("Not all data sent out in CTcpSocket::HandleOutputEvent()!\n");
                // The send buffer is full: the tail goes out first at the next
                // writability notice, so the phone never sees a hole.
                memmove(pBuf->buf, pBuf->buf + n, pBuf->len - n);
                pBuf->len -= static_cast<uint32_t>(n);
                m_sendQueue.push_front(pBuf);
                m_bCanWrite = 0;
                continue;
            }
            FreeWsaBuf(pBuf);
        } else {
            m_bCanWrite = 0;
            if (WsaErrorFromErrno(errno) == WSAEWOULDBLOCK) {
                m_sendQueue.push_front(pBuf);
            } else {
                OutputDebugStringA("Unexpected error with WSASend\n");
                FreeWsaBuf(pBuf);
                nResult = FALSE;
            }
        }
    }
    return nResult;
}

DWORD CTcpSocket::TcpSocketThread(CTcpSocket* pSocket) {
    // Index 0 is the socket (network), then output, then hang-up, then room
    // for more received data.
    CReceiveBudget& received = *pSocket->m_pReceived;
    CEvent* const waits[3] = {pSocket->m_hEvents[1], pSocket->m_hEvents[2], &received.RoomEvent()};
    for (;;) {
        // Writability is asked for only until it is reported, and again only
        // after a send would have blocked.
        const short nWanted = POLLIN | POLLRDHUP | (pSocket->m_bCanWrite == 0 ? POLLOUT : 0);
        // While the owner holds the most it may, the socket leaves the wait
        // altogether: unread data stays in the kernel, whose window stops
        // the peer, and a close waits behind it. Queued output waits too;
        // the owner frees what it receives without waiting for any.
        const SOCKET hWaitOn = received.HasRoom(kReceivedRecordCost) ? pSocket->m_hSocket : INVALID_SOCKET;
        short nRevents = 0;
        const DWORD dwResult = WaitForSocketAndEvents(hWaitOn, nWanted, &nRevents, waits, 3, INFINITE);
        if (dwResult == 0) {
            if (!pSocket->HandleNetworkEvent(nRevents))
                break;
        } else if (dwResult == 1) {
            if (!pSocket->HandleOutputEvent())
                break;
        } else if (dwResult == 2) {
            OutputDebugStringA("Hangup by myself\n");
            break;
        } else if (dwResult == 3) {
            continue; // the owner has freed records: the socket rejoins the wait
        } else if (dwResult == WAIT_FAILED) {
            OutputDebugStringA("WSAWaitForMultipleEvents() failed\n");
            break;
        } else {
            OutputDebugStringA("Unknown error in WSAWaitForMultipleEvents()\n");
            break;
        }
    }
    PostMessage(pSocket->m_hWndOwner, WM_TCP_CLOSED, static_cast<WPARAM>(pSocket->m_hSocket),
                static_cast<LPARAM>(pSocket->m_dwRemoteAddress));
    return 0;
}

void CTcpSocket::Hangup() {
    if (m_hHangupEvent)
        m_hHangupEvent->Set();
}

void CTcpSocket::Close() {
    // The I/O thread uses the events, the queue and the socket: it ends first.
    if (m_hThread.joinable()) {
        Hangup();
        m_hThread.join();
    }
    m_bCanWrite = 0;
    m_hEvents[0] = m_hEvents[1] = m_hEvents[2] = nullptr;
    m_hNetworkEvent.reset();
    m_hOutputEvent.reset();
    m_hHangupEvent.reset();
    // Records still held by the owner keep it alive until they are freed.
    m_pReceived.reset();
    {
        std::lock_guard<std::mutex> lock(m_csSendQueue);
        for (WSABUF* pBuf : m_sendQueue)
            FreeWsaBuf(pBuf);
        m_sendQueue.clear();
    }
    if (m_hSocket != INVALID_SOCKET) {
        // After the cancel no connect notice can name this number again.
        WSAAsyncSelect(m_hSocket, m_hWndOwner, 0, 0);
        close(m_hSocket);
        m_hSocket = INVALID_SOCKET;
    }
}
