#include "TcpSocket.h"

#include "MessageQueue.h"
#include "SocketApi.h"
#include "Trace.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

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
    m_hSocket = PlatformSocket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
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
    m_strRemote = InetNtoa(dwAddress);
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
        WSAEventSelect(m_hSocket, m_hNetworkEvent.get(), FD_READ | FD_WRITE | FD_CLOSE);
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

int CTcpSocket::HandleNetworkEvent() {
    WSANETWORKEVENTS events;
    if (WSAEnumNetworkEvents(m_hSocket, m_hNetworkEvent.get(), &events) != 0) {
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
        const int n = PlatformReceive(m_hSocket, pBuf->buf, kMaxReceive);
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
        const int n = PlatformSend(m_hSocket, pBuf->buf, static_cast<int>(pBuf->len));
        if (n >= 0) {
            if (static_cast<uint32_t>(n) != pBuf->len) {
                OutputDebugStringA("Not all data sent out in CTcpSocket::HandleOutputEvent()!\n");
                // The send buffer is full: the tail goes out first, so the
                // phone never sees a hole. It is tried again at once; the
                // send that would block asks for the next writability notice.
                memmove(pBuf->buf, pBuf->buf + n, pBuf->len - n);
                pBuf->len -= static_cast<uint32_t>(n);
                m_sendQueue.push_front(pBuf);
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
    // Network, output, hang-up, then room for more received data.
    CReceiveBudget& received = *pSocket->m_pReceived;
    HEVENT const waits[4] = {pSocket->m_hEvents[0], pSocket->m_hEvents[1], pSocket->m_hEvents[2],
                             &received.RoomEvent()};
    for (;;) {
        // While the owner holds the most it may, the network event leaves the
        // wait altogether: unread data stays in the kernel, whose window
        // stops the peer, and a close waits behind it. Queued output waits
        // too; the owner frees what it receives without waiting for any.
        const DWORD nSkipped = received.HasRoom(kReceivedRecordCost) ? 0 : 1;
        DWORD dwResult = WSAWaitForMultipleEvents(4 - nSkipped, waits + nSkipped, WSA_INFINITE);
        if (dwResult != WSA_WAIT_FAILED && dwResult != WSA_WAIT_TIMEOUT)
            dwResult += nSkipped;
        if (dwResult == WSA_WAIT_EVENT_0) {
            if (!pSocket->HandleNetworkEvent())
                break;
        } else if (dwResult == WSA_WAIT_EVENT_0 + 1) {
            if (!pSocket->HandleOutputEvent())
                break;
        } else if (dwResult == WSA_WAIT_EVENT_0 + 2) {
            OutputDebugStringA("Hangup by myself\n");
            break;
        } else if (dwResult == WSA_WAIT_EVENT_0 + 3) {
            continue; // the owner has freed records: the socket rejoins the wait
        } else if (dwResult == WSA_WAIT_FAILED) {
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
    // Unbound before the event goes, so its address cannot stand for the
    // socket once reused.
    if (m_hSocket != INVALID_SOCKET)
        WSAEventSelect(m_hSocket, nullptr, 0);
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
        PlatformCloseSocket(m_hSocket);
        m_hSocket = INVALID_SOCKET;
    }
}
