// CUdpSocket against plain POSIX peers. Traffic runs inside a tool namespace
// of the test's own, on loopback and the namespace's veth address, which is
// the socket's local address there (the host name maps to loopback).
#include "LocalAddress.h"
#include "MessageQueue.h"
#include "MsgWnd.h"
#include "Netns.h"
#include "ReceiveBudget.h"
#include "SocketApi.h"
#include "TraceCapture.h"
#include "UdpSocket.h"
#include "WorkerThread.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {
constexpr DWORD kPumpMs = 3000;
constexpr DWORD kQuietMs = 200;
constexpr UINT kRecvSize = 1400;

DWORD HostOrder(const char* pszAddress) { return ntohl(inet_addr(pszAddress)); }

char* Block(const std::string& bytes) {
    char* p = static_cast<char*>(malloc(bytes.size() + 1));
    memcpy(p, bytes.data(), bytes.size());
    return p;
}

struct CReceived {
    WPARAM dwFrom;
    std::string bytes;
};

// The owner window: records each WM_UDP_DATA and frees its record, or
// holds it while m_bHold is set.
class CRecorder : public CMsgWnd {
public:
    CRecorder() { Create(); }
    ~CRecorder() override {
        DestroyWindow();
        FreeHeld();
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_UDP_DATA) {
            auto* pBuf = reinterpret_cast<WSABUF*>(lParam);
            m_received.push_back({wParam, std::string(pBuf->buf, pBuf->len)});
            if (m_bHold)
                m_held.push_back(pBuf);
            else
                FreeWsaBuf(pBuf);
        }
        return 0;
    }
    void FreeHeld() {
        for (WSABUF* pBuf : m_held)
            FreeWsaBuf(pBuf);
        m_held.clear();
    }
    bool m_bHold = false;
    std::vector<WSABUF*> m_held;
    // Dispatches until n datagrams have come or dwMs pass.
    void PumpUntil(size_t n, DWORD dwMs) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(dwMs);
        MSG msg;
        while (m_received.size() < n && std::chrono::steady_clock::now() < deadline)
            if (GetMessage(&msg, 20) && !DispatchMessage(msg))
                ReleaseMessage(msg);
    }
    std::vector<CReceived> m_received;
};

// A plain UDP socket as the other side.
class CPeer {
public:
    CPeer(const char* pszAddress, int nPort) : m_fd(socket(AF_INET, SOCK_DGRAM, 0)) {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(nPort));
        addr.sin_addr.s_addr = inet_addr(pszAddress);
        int on = 1;
        setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        m_bBound = bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    }
    ~CPeer() { close(m_fd); }
    bool IsBound() const { return m_bBound; }
    int Fd() const { return m_fd; }
    void SendTo(const char* pszAddress, int nPort, const std::string& bytes) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<uint16_t>(nPort));
        to.sin_addr.s_addr = inet_addr(pszAddress);
        ASSERT_EQ(static_cast<ssize_t>(bytes.size()),
                  sendto(m_fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to));
    }
    // One datagram, or false after dwMs.
    bool Receive(std::string* pBytes, sockaddr_in* pFrom, DWORD dwMs) {
        pollfd pfd{m_fd, POLLIN, 0};
        if (poll(&pfd, 1, static_cast<int>(dwMs)) != 1)
            return false;
        char buf[2048];
        socklen_t len = sizeof *pFrom;
        ssize_t n = recvfrom(m_fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(pFrom), &len);
        if (n < 0)
            return false;
        pBytes->assign(buf, static_cast<size_t>(n));
        return true;
    }

private:
    int m_fd;
    bool m_bBound = false;
};

bool WaitForTrace(const CTraceCapture& trace, const std::string& line, DWORD dwMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(dwMs);
    while (!trace.Contains(line)) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Every test body runs on a thread inside the tool namespace, and so do the
// I/O threads it starts.
class UdpSocketNetnsTest : public CToolNetnsTest {
protected:
    CTraceCapture m_trace;
};
} // namespace

TEST(UdpSocketTest, Leave_WithoutEnterTwiceAndAfterFailedEnter_IsHarmless) {
    CTraceCapture trace;
    CUdpSocket never;
    never.Write(Block("queued while inert"), 18); // Leave frees it (the sanitizer build checks)
    never.Leave();
    never.Leave();

    CWorkerThread::SetCreateHook([] { return false; });
    CUdpSocket failed;
    failed.Write(Block("queued before a failed Enter"), 28);
    EXPECT_FALSE(failed.Enter(0, WM_UDP_DATA, HostOrder("127.0.0.2"), 40100, kRecvSize));
    CWorkerThread::SetCreateHook(nullptr);
    EXPECT_TRUE(trace.Contains("CreateThread() failed in CUdpSocket::Enter()\n"));
    failed.Leave();
    failed.Leave();
}

TEST_F(UdpSocketNetnsTest, LocalAddress_FallsBackToTheVethWhenTheNameIsLoopback) {
    EXPECT_EQ(inet_addr(CNetns::kToolAddress), GetLocalHostAddress());
}

TEST_F(UdpSocketNetnsTest, WritesRightAfterEnter_AreSentInOrderOnceOpen) {
    CPeer peer("127.0.0.2", 40101);
    ASSERT_TRUE(peer.IsBound());
    CRecorder owner;
    CUdpSocket sock;
    ASSERT_TRUE(sock.Enter(owner.GetSafeHwnd(), WM_UDP_DATA, HostOrder("127.0.0.2"), 40101, kRecvSize));
    for (const char* psz : {"one", "two", "three"})
        ASSERT_EQ(1, sock.Write(Block(psz), static_cast<DWORD>(strlen(psz))));
    for (const char* psz : {"one", "two", "three"}) {
        std::string got;
        sockaddr_in from{};
        ASSERT_TRUE(peer.Receive(&got, &from, kPumpMs)) << psz;
        EXPECT_EQ(psz, got);
        EXPECT_EQ(inet_addr(CNetns::kToolAddress), from.sin_addr.s_addr);
        EXPECT_EQ(htons(40101), from.sin_port) << "local and peer port are one number";
    }
    sock.Leave();
}

TEST_F(UdpSocketNetnsTest, WriteThenLeave_StillSends) {
    CPeer peer("127.0.0.3", 40102);
    CRecorder owner;
    CUdpSocket sock;
    ASSERT_TRUE(sock.Enter(owner.GetSafeHwnd(), WM_UDP_DATA, HostOrder("127.0.0.3"), 40102, kRecvSize));
    sock.Write(Block("last words"), 10);
    sock.Leave();
    std::string got;
    sockaddr_in from{};
    ASSERT_TRUE(peer.Receive(&got, &from, kPumpMs));
    EXPECT_EQ("last words", got);
}

// A datagram that must not reach the owner, followed by one that must: the
// first is dropped and the thread goes on.
TEST_F(UdpSocketNetnsTest, DiscardedDatagram_IsNotDeliveredAndTheNextIs) {
    struct CCase {
        const char* pszWhy;
        const char* pszFrom; // the discarded datagram's sender
        std::string bytes;
        UINT nRecvSize;
    };
    const CCase cases[] = {
        {"zero length", "127.0.0.4", "", kRecvSize},
        {"longer than the receive size", "127.0.0.4", "123456789", 8},
        {"from the local address", CNetns::kToolAddress, "own", kRecvSize},
    };
    int nPort = 40103;
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.pszWhy);
        ++nPort;
        CPeer discarded(c.pszFrom, nPort + 100);
        CPeer other("127.0.0.5", nPort);
        CRecorder owner;
        CUdpSocket sock;
        ASSERT_TRUE(sock.Enter(owner.GetSafeHwnd(), WM_UDP_DATA, HostOrder("127.0.0.5"), nPort, c.nRecvSize));
        discarded.SendTo(CNetns::kToolAddress, nPort, c.bytes);
        other.SendTo(CNetns::kToolAddress, nPort, "after");
        owner.PumpUntil(1, kPumpMs);
        owner.PumpUntil(2, kQuietMs);
        ASSERT_EQ(1u, owner.m_received.size());
        EXPECT_EQ("after", owner.m_received[0].bytes);
        EXPECT_EQ(inet_addr("127.0.0.5"), static_cast<in_addr_t>(owner.m_received[0].dwFrom));
        sock.Leave();
    }
}

TEST_F(UdpSocketNetnsTest, Multicast_SendsOnTheLocalInterfaceWithTtl10) {
    constexpr int kPort = 40106;
    // A member of the group on the same interface gets the looped-back copy.
    CPeer member("0.0.0.0", kPort);
    ip_mreq mreq{};
    mreq.imr_multiaddr.s_addr = inet_addr("224.1.2.7");
    mreq.imr_interface.s_addr = inet_addr(CNetns::kToolAddress);
    ASSERT_EQ(0, setsockopt(member.Fd(), IPPROTO_IP, IP_ADD_MEMBERSHIP, &mreq, sizeof mreq));
    int on = 1;
    ASSERT_EQ(0, setsockopt(member.Fd(), IPPROTO_IP, IP_RECVTTL, &on, sizeof on));

    CRecorder owner;
    CUdpSocket sock;
    ASSERT_TRUE(sock.Enter(owner.GetSafeHwnd(), WM_UDP_DATA, HostOrder("224.1.2.7"), kPort, kRecvSize));
    sock.Write(Block("to the group"), 12);
    sock.Leave();

    pollfd pfd{member.Fd(), POLLIN, 0};
    ASSERT_EQ(1, poll(&pfd, 1, static_cast<int>(kPumpMs)));
    char buf[64];
    char control[64];
    iovec iov{buf, sizeof buf};
    sockaddr_in from{};
    msghdr msg{};
    msg.msg_name = &from;
    msg.msg_namelen = sizeof from;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    ASSERT_EQ(12, recvmsg(member.Fd(), &msg, 0));
    EXPECT_EQ("to the group", std::string(buf, 12));
    EXPECT_EQ(inet_addr(CNetns::kToolAddress), from.sin_addr.s_addr);
    int nTtl = -1;
    for (cmsghdr* p = CMSG_FIRSTHDR(&msg); p != nullptr; p = CMSG_NXTHDR(&msg, p))
        if (p->cmsg_level == IPPROTO_IP && p->cmsg_type == IP_TTL)
            memcpy(&nTtl, CMSG_DATA(p), sizeof nTtl);
    EXPECT_EQ(10, nTtl);
}

TEST_F(UdpSocketNetnsTest, RefusedOption_EndsTheThreadWithItsDiagnostic) {
    struct CCase {
        DWORD dwAddress;
        int nLevel;
        int nName;
        int nErrno;
        std::vector<std::string> lines;
    };
    const DWORD dwGroup = HostOrder("224.1.2.8");
    const std::vector<CCase> table = {
        {HostOrder("127.0.0.7"), SOL_SOCKET, SO_REUSEADDR, EACCES, {"Could not set reuse address option\n"}},
        {0, SOL_SOCKET, SO_BROADCAST, EACCES, {"Could not set broadcast option\n"}},
        {dwGroup, IPPROTO_IP, IP_MULTICAST_TTL, EINVAL, {"Could not set TTL\n"}},
        {dwGroup, IPPROTO_IP, IP_ADD_MEMBERSHIP, EADDRNOTAVAIL,
         {"Could not join multicast session\n", "The remote address is not a valid address (such as ADDR_ANY). \n"}},
        {dwGroup, IPPROTO_IP, IP_MULTICAST_IF, ENETDOWN,
         {"Could not join multicast session\n", "The network subsystem has failed. \n"}},
        // A code without a text gives the first line alone.
        {dwGroup, IPPROTO_IP, IP_ADD_MEMBERSHIP, EPERM, {"Could not join multicast session\n"}},
    };
    for (const CCase& c : table) {
        CTraceCapture trace;
        CSocketApiHooks hooks;
        hooks.fnSetSockOpt = [c](int fd, int level, int name, const void* pValue, socklen_t len) {
            if (level == c.nLevel && name == c.nName) {
                errno = c.nErrno;
                return -1;
            }
            return setsockopt(fd, level, name, pValue, len);
        };
        SetSocketApiHooks(hooks);
        CUdpSocket sock;
        ASSERT_TRUE(sock.Enter(0, WM_UDP_DATA, c.dwAddress, 40107, kRecvSize));
        EXPECT_TRUE(WaitForTrace(trace, "UDP IO thread shutting down\n", kPumpMs)) << c.lines[0];
        sock.Leave();
        SetSocketApiHooks({});
        std::vector<std::string> lines = trace.Lines();
        lines.erase(lines.begin()); // the local address line
        std::vector<std::string> expected = c.lines;
        expected.push_back("UDP IO thread shutting down\n");
        EXPECT_EQ(expected, lines);
    }
}

// A flood while the owner holds every datagram: beyond the bound datagrams
// are dropped, and the burst leaves one diagnostic line once the owner has
// caught up, not one per datagram.
TEST_F(UdpSocketNetnsTest, FloodWhileTheOwnerHolds_DropsBeyondTheBoundWithOneLine) {
    constexpr int kPort = 40108;
    // Sent in batches that the kernel's receive buffer holds, each taken in
    // before the next, so that every datagram reaches the I/O thread however
    // slowly it runs (a sanitizer build): the drops are then the tool's own.
    constexpr size_t kBatch = 32;
    const std::string datagram(kRecvSize, 'f');
    // However much the peer sends, at most 32 MiB of datagrams are held.
    constexpr size_t kMaxHeldBytes = 32u * 1024 * 1024;
    const size_t nEnough = kMaxHeldBytes / datagram.size() + 2 * kBatch;
    CPeer peer("127.0.0.8", kPort);
    CRecorder owner;
    owner.m_bHold = true;
    CUdpSocket sock;
    ASSERT_TRUE(sock.Enter(owner.GetSafeHwnd(), WM_UDP_DATA, HostOrder("127.0.0.8"), kPort, kRecvSize));
    size_t nSent = 0;
    while (nSent < nEnough) {
        for (size_t i = 0; i < kBatch; ++i)
            peer.SendTo(CNetns::kToolAddress, kPort, datagram);
        nSent += kBatch;
        owner.PumpUntil(nSent, kPumpMs);
        if (owner.m_received.size() < nSent)
            break; // the bound is reached
    }
    // Whatever the I/O thread still had on its way has come.
    size_t nHeld = 0;
    do {
        nHeld = owner.m_held.size();
        owner.PumpUntil(nHeld + 1, kQuietMs);
    } while (owner.m_held.size() > nHeld);
    EXPECT_LT(nHeld, nSent) << "nothing dropped after " << nSent * datagram.size() << " bytes";
    EXPECT_LE(nHeld * datagram.size(), kMaxHeldBytes);
    // Nothing beyond the bound comes, whatever more is sent.
    for (size_t i = 0; i < kBatch; ++i)
        peer.SendTo(CNetns::kToolAddress, kPort, datagram);
    owner.PumpUntil(nHeld + 1, kQuietMs);
    EXPECT_EQ(nHeld, owner.m_held.size());

    // Caught up: delivery resumes and the burst ends. Datagrams of the flood
    // that the I/O thread takes in after the owner caught up may come first.
    owner.m_bHold = false;
    owner.FreeHeld();
    owner.m_received.clear();
    peer.SendTo(CNetns::kToolAddress, kPort, "after");
    const auto afterCame = [&owner] {
        return std::any_of(owner.m_received.begin(), owner.m_received.end(),
                           [](const CReceived& r) { return r.bytes == "after"; });
    };
    size_t nBefore = 0;
    do {
        nBefore = owner.m_received.size();
        owner.PumpUntil(nBefore + 1, kPumpMs);
    } while (!afterCame() && owner.m_received.size() > nBefore);
    EXPECT_TRUE(afterCame());
    sock.Leave();
    const std::vector<std::string> lines = m_trace.Lines();
    EXPECT_EQ(1, std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
                  return line.find("datagrams dropped") != std::string::npos;
              }));
}
