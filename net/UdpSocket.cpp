#include "UdpSocket.h"

#include "Event.h"
#include "LocalAddress.h"
#include "MessageQueue.h"
#include "ReceiveBudget.h"
#include "SocketApi.h"
#include "Trace.h"
#include "WorkerThread.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace {
constexpr DWORD kLeaveTimeoutMs = 3000;
// Enter waits this long at most for the thread to have opened its socket.
constexpr DWORD kOpenTimeoutMs = 3000;
constexpr DWORD kMulticastFloor = 0xE0000000; // 224.0.0.0
constexpr int kMulticastScope = 10;
// Enough for 10,000 phones answering one probe at once; the kernel caps it.
constexpr int kReceiveBufferBytes = 4 * 1024 * 1024;
// Room for the longest datagram IPv4 carries, so a datagram longer than the
// receive size is known by its whole length on every platform.
constexpr size_t kLongestDatagram = 65536;

void ReleaseWsaBuf(LPARAM lParam) {
    FreeWsaBuf(reinterpret_cast<WSABUF*>(lParam));
}
} // namespace

struct CUdpSocket::CState {
    ~CState();

    // Set by Enter before the thread starts; read-only for the thread.
    HWND m_hWndOwner = 0;
    UINT m_nNotifyMsg = 0;
    DWORD m_dwAddress = 0;
    DWORD m_dwLocalAddress = 0;
    UINT m_nPort = 0;
    UINT m_nRecvSize = 0;

    SOCKET m_hSocket = INVALID_SOCKET;
    // Bound to the socket's readability and writability notices.
    HEVENT m_hNetworkEvent = nullptr;
    HEVENT m_hOutputEvent = nullptr;
    HEVENT m_hStopEvent = nullptr;
    // Set by the thread as its last act on this state.
    HEVENT m_hDoneEvent = nullptr;
    // Set by the thread once its socket is open, or could not be opened.
    HEVENT m_hOpenedEvent = nullptr;
    sockaddr_in m_sockAddr{};
    bool m_bCanWrite = false; // I/O thread only
    // Set when Leave gave up waiting: the thread ends at its next turn even
    // if the network keeps it from ever reaching the stop event.
    std::atomic<bool> m_bAbandoned{false};
    std::deque<WSABUF*> m_sendQueue;
    std::mutex m_csSendQueue;
    // Received datagrams the owner has not yet freed; made with the events.
    std::shared_ptr<CReceiveBudget> m_pReceived;
    // I/O thread only: each datagram is read here, then copied into a block
    // of its own size, so a backlog costs what it holds.
    std::vector<char> m_recvBuffer;
    // Datagrams dropped in the current burst (over the bound).
    size_t m_nDropped = 0;

    void FreeQueue();
    void EndDropBurst();
    bool OpenSocket();
    void CloseSocket();
    void UdpSocketThread();
    bool HandleNetworkEvent();
    int ReadData();
    bool HandleOutputEvent();
};

namespace {
// The I/O thread; a worker so that a thread which cannot start is testable.
class CUdpIoThread : public CWorkerThread {
public:
    explicit CUdpIoThread(std::shared_ptr<CUdpSocket::CState> pState)
        : m_pState(std::move(pState)) {}

protected:
    BOOL InitInstance() override {
        m_pState->UdpSocketThread();
        SetEvent(m_pState->m_hDoneEvent);
        return FALSE; // no message loop: the thread ends here
    }

private:
    std::shared_ptr<CUdpSocket::CState> m_pState;
};
} // namespace

CUdpSocket::CState::~CState() {
    CloseSocket();
    FreeQueue();
    CloseHandle(m_hNetworkEvent);
    CloseHandle(m_hOutputEvent);
    CloseHandle(m_hStopEvent);
    CloseHandle(m_hDoneEvent);
    CloseHandle(m_hOpenedEvent);
}

void CUdpSocket::CState::FreeQueue() {
    std::lock_guard<std::mutex> lock(m_csSendQueue);
    for (WSABUF* pBuf : m_sendQueue)
        FreeWsaBuf(pBuf);
    m_sendQueue.clear();
}

CUdpSocket::CUdpSocket() : m_pState(std::make_shared<CState>()) {}

CUdpSocket::~CUdpSocket() {
    if (m_bThreadRunning)
        Leave();
}

BOOL CUdpSocket::prepare() {
    CState& s = *m_pState;
    s.m_hSocket = INVALID_SOCKET;
    s.m_bCanWrite = false;
    s.m_hNetworkEvent = CreateEventA(false, false);
    s.m_hOutputEvent = CreateEventA(false, false);
    s.m_hStopEvent = CreateEventA(true, false);
    s.m_hDoneEvent = CreateEventA(true, false);
    s.m_hOpenedEvent = CreateEventA(true, false);
    s.m_pReceived = CReceiveBudget::Create(kReceiveBacklog);
    if (s.m_hNetworkEvent == nullptr || s.m_hOutputEvent == nullptr || s.m_hStopEvent == nullptr ||
        s.m_hDoneEvent == nullptr || s.m_hOpenedEvent == nullptr) {
        OutputDebugStringA("CreateEvent() failed in CUdpSocket::prepare()\n");
        cleanup();
        return FALSE;
    }
    return TRUE;
}

void CUdpSocket::cleanup() {
    // A thread still running keeps its own reference; it gets a fresh state
    // of its own, and this object a new, empty one.
    m_pState->FreeQueue();
    m_pState = std::make_shared<CState>();
}

BOOL CUdpSocket::Enter(HWND hWndOwner, UINT nNotifyMsg, DWORD dwAddress, UINT nPort, UINT nRecvSize,
                       DWORD dwLocalAddress) {
    if (m_bThreadRunning)
        return FALSE;
    CState& s = *m_pState;
    s.m_hWndOwner = hWndOwner;
    s.m_nNotifyMsg = nNotifyMsg;
    s.m_dwAddress = dwAddress;
    s.m_dwLocalAddress = dwLocalAddress != 0 ? htonl(dwLocalAddress) : GetLocalHostAddress();
    s.m_nPort = nPort;
    s.m_nRecvSize = nRecvSize;
    if (!prepare()) {
        Leave();
        return FALSE;
    }
    auto* pThread = new CUdpIoThread(m_pState);
    DWORD dwThreadId = 0;
    if (!pThread->CreateThread(&dwThreadId)) {
        delete pThread;
        OutputDebugStringA("CreateThread() failed in CUdpSocket::Enter()\n");
        Leave();
        return FALSE;
    }
    // Replies from many phones at once are taken before the dialog's work.
    // Linux gives an unprivileged process no way up; the thread sleeps in its
    // wait and keeps up without.
    SetWorkerThreadPriority(dwThreadId, kThreadPriorityHighest);
    m_bThreadRunning = true;
    // A reply to a probe sent right after Enter must find the socket bound:
    // datagrams that arrive before are lost. Whether the open succeeded
    // still shows only in what the socket delivers.
    WaitForSingleObject(s.m_hOpenedEvent, kOpenTimeoutMs);
    return TRUE;
}

int CUdpSocket::Write(char* pData, DWORD dwLength) {
    auto* pBuf = static_cast<WSABUF*>(malloc(sizeof(WSABUF)));
    if (pBuf == nullptr) {
        OutputDebugStringA("malloc failed in CUdpSocket::Write\n");
        return 0;
    }
    pBuf->len = dwLength;
    pBuf->buf = pData;
    CState& s = *m_pState;
    {
        std::lock_guard<std::mutex> lock(s.m_csSendQueue);
        s.m_sendQueue.push_back(pBuf);
    }
    if (s.m_hOutputEvent != nullptr)
        SetEvent(s.m_hOutputEvent);
    return 1;
}

void CUdpSocket::Leave() {
    if (m_bThreadRunning) {
        CState& s = *m_pState;
        SetEvent(s.m_hStopEvent);
        if (WaitForSingleObject(s.m_hDoneEvent, kLeaveTimeoutMs) != WAIT_OBJECT_0) {
            // The thread is left to end on its own; the socket closes with
            // the last reference to the state.
            OutputDebugStringA("UDP IO thread did not end in time in CUdpSocket::Leave()\n");
            s.m_bAbandoned = true;
        }
        m_bThreadRunning = false;
    }
    cleanup();
}

bool CUdpSocket::CState::OpenSocket() {
    const bool bBroadcast = m_dwAddress == 0;
    const bool bMulticast = m_dwAddress >= kMulticastFloor;
    m_hSocket = PlatformSocket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (m_hSocket == INVALID_SOCKET)
        return false;

    // Best effort: above the cap only root's FORCE variant succeeds.
    const int nRcvBuf = kReceiveBufferBytes;
    if (PlatformSetSockOpt(m_hSocket, SOL_SOCKET, SO_RCVBUFFORCE, &nRcvBuf, sizeof nRcvBuf) != 0)
        PlatformSetSockOpt(m_hSocket, SOL_SOCKET, SO_RCVBUF, &nRcvBuf, sizeof nRcvBuf);

    const int nOn = 1;
    if (PlatformSetSockOpt(m_hSocket, SOL_SOCKET, SO_REUSEADDR, &nOn, sizeof nOn) != 0) {
        OutputDebugStringA("Could not set reuse address option\n");
        return false;
    }
    if (bBroadcast &&
        PlatformSetSockOpt(m_hSocket, SOL_SOCKET, SO_BROADCAST, &nOn, sizeof nOn) != 0) {
        OutputDebugStringA("Could not set broadcast option\n");
        return false;
    }
    m_sockAddr = sockaddr_in{};
    m_sockAddr.sin_family = AF_INET;
    m_sockAddr.sin_port = htons(static_cast<uint16_t>(m_nPort));
    m_sockAddr.sin_addr.s_addr = bBroadcast ? htonl(INADDR_ANY) : m_dwLocalAddress;
    if (PlatformBind(m_hSocket, m_sockAddr) != 0) {
        OutputDebugStringA("Could not bind address\n");
        return false;
    }
    if (bMulticast) {
        const int nTtl = kMulticastScope;
        if (PlatformSetSockOpt(m_hSocket, IPPROTO_IP, IP_MULTICAST_TTL, &nTtl, sizeof nTtl) != 0) {
            OutputDebugStringA("Could not set TTL\n");
            return false;
        }
    }
    m_sockAddr.sin_addr.s_addr = bBroadcast ? htonl(INADDR_BROADCAST) : htonl(m_dwAddress);
    if (bMulticast) {
        // Joined as receiver on the local address's interface, and sending
        // through that same interface.
        ip_mreq mreq{};
        mreq.imr_multiaddr = m_sockAddr.sin_addr;
        mreq.imr_interface.s_addr = m_dwLocalAddress;
        in_addr ifAddr{};
        ifAddr.s_addr = m_dwLocalAddress;
        if (PlatformSetSockOpt(m_hSocket, IPPROTO_IP, IP_ADD_MEMBERSHIP, &mreq, sizeof mreq) != 0 ||
            PlatformSetSockOpt(m_hSocket, IPPROTO_IP, IP_MULTICAST_IF, &ifAddr, sizeof ifAddr) !=
                0) {
            const int nCode = WsaErrorFromErrno(errno);
            OutputDebugStringA("Could not join multicast session\n");
            if (const char* pszText = JoinErrorText(nCode))
                OutputDebugStringA(std::string(pszText) + " \n");
            return false;
        }
    }
    WSAEventSelect(m_hSocket, m_hNetworkEvent, FD_READ | FD_WRITE);
    return true;
}

void CUdpSocket::CState::CloseSocket() {
    if (m_hSocket != INVALID_SOCKET) {
        WSAEventSelect(m_hSocket, nullptr, 0);
        PlatformCloseSocket(m_hSocket);
        m_hSocket = INVALID_SOCKET;
    }
}

void CUdpSocket::CState::UdpSocketThread() {
    const bool bOpen = OpenSocket();
    SetEvent(m_hOpenedEvent);
    if (bOpen) {
        OutputDebugStringA("UDP IO thread starting\n");
        HEVENT const events[] = {m_hNetworkEvent, m_hOutputEvent, m_hStopEvent};
        while (!m_bAbandoned) {
            const DWORD dwResult = WSAWaitForMultipleEvents(3, events, WSA_INFINITE);
            if (dwResult == WSA_WAIT_EVENT_0) {
                if (!HandleNetworkEvent())
                    break;
            } else if (dwResult == WSA_WAIT_EVENT_0 + 1) {
                if (!HandleOutputEvent())
                    break;
            } else if (dwResult == WSA_WAIT_EVENT_0 + 2) {
                break;
            } else if (dwResult == WSA_WAIT_FAILED) {
                OutputDebugStringA("WSAWaitForMultipleEvents() failed\n");
                break;
            } else {
                OutputDebugStringA("Unknown error in WSAWaitForMultipleEvents()\n");
                break;
            }
        }
    }
    EndDropBurst();
    OutputDebugStringA("UDP IO thread shutting down\n");
    CloseSocket();
}

void CUdpSocket::CState::EndDropBurst() {
    if (m_nDropped == 0)
        return;
    OutputDebugStringA(std::to_string(m_nDropped) +
                       " datagrams dropped in CUdpSocket::ReadData(): the owner fell behind\n");
    m_nDropped = 0;
}

bool CUdpSocket::CState::HandleNetworkEvent() {
    WSANETWORKEVENTS events;
    if (WSAEnumNetworkEvents(m_hSocket, m_hNetworkEvent, &events) != 0) {
        OutputDebugStringA("WSAEnumNetworkEvents failed\n");
        return false;
    }
    if (events.lNetworkEvents & FD_READ) {
        if (events.iErrorCode[FD_READ_BIT] == WSAENETDOWN) {
            OutputDebugStringA("Error in FD_READ\n");
            return false;
        }
        if (ReadData() != 0)
            return false;
    }
    if (events.lNetworkEvents & FD_WRITE) {
        if (events.iErrorCode[FD_WRITE_BIT] == WSAENETDOWN) {
            OutputDebugStringA("Error in FD_WRITE\n");
            return false;
        }
        m_bCanWrite = true;
        SetEvent(m_hOutputEvent);
    }
    return true;
}

int CUdpSocket::CState::ReadData() {
    m_recvBuffer.resize(std::max<size_t>(m_nRecvSize, kLongestDatagram));
    sockaddr_in from{};
    const int n = PlatformReceiveFrom(m_hSocket, m_recvBuffer.data(),
                                      static_cast<int>(m_recvBuffer.size()), &from);
    if (n < 0) {
        const int nError = WsaErrorFromErrno(errno);
        return nError == WSAEWOULDBLOCK || nError == WSAEINTR ? 0 : -1;
    }
    if (static_cast<size_t>(n) > m_nRecvSize) {
        // One stray datagram must not silence the socket: drop it, go on.
        OutputDebugStringA("Datagram of " + std::to_string(n) + " bytes longer than " +
                           std::to_string(m_nRecvSize) + " discarded in CUdpSocket::ReadData()\n");
        return 0;
    }
    const bool bOwn = m_dwLocalAddress != 0 && from.sin_addr.s_addr == m_dwLocalAddress;
    if (n == 0 || bOwn || m_nNotifyMsg == 0)
        return 0;
    const size_t nCost = CReceiveBudget::Cost(static_cast<size_t>(n));
    if (!m_pReceived->HasRoom(nCost)) {
        ++m_nDropped;
        return 0;
    }
    // A burst of drops ends once the owner has caught up with half the backlog.
    if (m_nDropped != 0 && m_pReceived->Pending() <= kReceiveBacklog / 2)
        EndDropBurst();
    auto* pBuf = static_cast<WSABUF*>(malloc(sizeof(WSABUF)));
    char* pData = static_cast<char*>(malloc(static_cast<size_t>(n)));
    if (pBuf == nullptr || pData == nullptr) {
        OutputDebugStringA("malloc failed in CUdpSocket::ReadData()\n");
        free(pData);
        free(pBuf);
        return -1;
    }
    memcpy(pData, m_recvBuffer.data(), static_cast<size_t>(n));
    pBuf->buf = pData;
    pBuf->len = static_cast<uint32_t>(n);
    m_pReceived->Charge(pBuf, nCost);
    // A failed post (the owner is gone) releases the record itself.
    PostMessage(m_hWndOwner, m_nNotifyMsg, static_cast<WPARAM>(from.sin_addr.s_addr),
                reinterpret_cast<LPARAM>(pBuf), ReleaseWsaBuf);
    return 0;
}

bool CUdpSocket::CState::HandleOutputEvent() {
    if (!m_bCanWrite)
        return true;
    bool bLastOk = true;
    std::lock_guard<std::mutex> lock(m_csSendQueue);
    while (!m_sendQueue.empty() && m_bCanWrite) {
        WSABUF* pBuf = m_sendQueue.front();
        m_sendQueue.pop_front();
        const int n = PlatformSendTo(m_hSocket, pBuf->buf, static_cast<int>(pBuf->len), m_sockAddr);
        if (n >= 0) {
            FreeWsaBuf(pBuf);
            bLastOk = true;
        } else if (WsaErrorFromErrno(errno) == WSAEWOULDBLOCK) {
            m_bCanWrite = false;
            m_sendQueue.push_front(pBuf);
            bLastOk = true;
        } else {
            FreeWsaBuf(pBuf);
            bLastOk = false;
        }
    }
    return bLastOk;
}

const char* CUdpSocket::JoinErrorText(int nCode) {
    switch (nCode) {
    case WSAEINTR:
        return "A blockingWindows Socket 1.1 call was canceled through WSACancelBlockingCall.";
    case WSAEFAULT:
        return "The name or the namelen parameter is not a valid part of the user address space, "
               "the namelen "
               "parameter is too small, the buffer length for lpCalleeData, lpSQOS, and lpGQOS are "
               "too small, or "
               "the buffer length for lpCallerData is too large.";
    case WSAEINPROGRESS:
        return "A blocking Windows Sockets 1.1 call is in progress, or the service provider is "
               "still processing "
               "a callback function.";
    case WSAEALREADY:
        return "A nonblocking WSAJoinLeaf call is in progress on the specified socket.";
    case WSAENOTSOCK:
        return "The descriptor is not a socket.";
    case WSAEPROTONOSUPPORT:
        return "The lpCallerData augment is not supported by the service provider.";
    case WSAEOPNOTSUPP:
        return "The FLOWSPEC structures specified in lpSQOS and lpGQOS cannot be satisfied.";
    case WSAEAFNOSUPPORT:
        return "Addresses in the specified family cannot be used with this socket.";
    case WSAEADDRINUSE:
        return "The socket's local address is already in use and the socket was not marked to "
               "allow address "
               "reuse with SO_REUSEADDR. This error usually occurs at the time of bind, but could "
               "be delayed "
               "until this function if the bind was to a partially wild-card address (involving "
               "ADDR_ANY) and "
               "if a specific address needs to be \"committed\" at the time of this function.";
    case WSAEADDRNOTAVAIL:
        return "The remote address is not a valid address (such as ADDR_ANY).";
    case WSAENETDOWN:
        return "The network subsystem has failed.";
    case WSAENETUNREACH:
        return "The network cannot be reached from this host at this time.";
    case WSAENOBUFS:
        return "No buffer space is available. The socket cannot be joined.";
    case WSAEISCONN:
        return "The socket is already member of the multipoint session.";
    case WSAETIMEDOUT:
        return "Attempt to join timed out without establishing a multipoint session";
    case WSAECONNREFUSED:
        return "The attempt to join was forcefully rejected.";
    case WSANOTINITIALISED:
        return "A successful WSAStartup must occur before using this function.";
    default:
        return nullptr;
    }
}
