// The transport of net/, built for Windows unchanged, under Wine: the TCP
// socket against the Linux phone simulator (scripts/test-windows.sh names it
// in ORVEX_SIM_ADDRESS), and two UDP sockets on this suite's loopback block.
#include "MessageQueue.h"
#include "MsgWnd.h"
#include "SocketApi.h"
#include "TcpSocket.h"
#include "ThreadPriorities.h"
#include "TraceCapture.h"
#include "UdpSocket.h"
#include "WinSock.h"
#include "WorkerThread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace {

// What the owner window received, in order.
struct CNotice {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    std::string bytes; // a WM_TCP_DATA or WM_UDP_DATA record's bytes
};

class COwnerWnd : public CMsgWnd {
public:
    std::vector<CNotice> notices;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        CNotice notice{message, wParam, lParam, {}};
        if (message == WM_TCP_DATA || message == WM_UDP_DATA) {
            auto* pBuf = reinterpret_cast<WSABUF*>(lParam);
            notice.bytes.assign(pBuf->buf, pBuf->len);
            FreeWsaBuf(pBuf);
        }
        notices.push_back(notice);
        return 0;
    }
    // Delivers messages until done() or the time is up.
    bool PumpUntil(const std::function<bool()>& done, int nMs = 5000) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nMs);
        while (!done()) {
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
            MSG msg;
            if (GetMessage(&msg, 20) && !DispatchMessage(msg))
                ReleaseMessage(msg);
        }
        return true;
    }
    size_t Count(UINT message) const {
        size_t n = 0;
        for (const CNotice& notice : notices)
            n += notice.message == message;
        return n;
    }
    const CNotice* Last(UINT message) const {
        for (auto it = notices.rbegin(); it != notices.rend(); ++it)
            if (it->message == message)
                return &*it;
        return nullptr;
    }
};

class TransportWineTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(WinSock2Init());
        ASSERT_TRUE(m_wnd.Create());
    }
    void TearDown() override { WinSock2Free(); }
    COwnerWnd m_wnd;
};

} // namespace

// The phone gets a block and the finishing byte in order and acknowledges
// each; hanging up ends the I/O thread with its closed notice.
TEST_F(TransportWineTest, Tcp_BlockAndFinishingByteReachThePhoneAndEachIsAcknowledged) {
    const char* pszSim = std::getenv("ORVEX_SIM_ADDRESS");
    if (pszSim == nullptr)
        GTEST_SKIP() << "no phone simulator (scripts/test-windows.sh starts one)";
    CTraceCapture trace;
    CTcpSocket socket;
    const DWORD dwSim = InetAddr(pszSim);
    ASSERT_TRUE(socket.Call(dwSim, m_wnd.GetSafeHwnd(), 0)) << "port 0 is 8739";
    ASSERT_TRUE(m_wnd.PumpUntil([&] { return m_wnd.Count(WM_TCP_CONNECT) == 1; }));
    EXPECT_EQ(socket.OnConnect(m_wnd.Last(WM_TCP_CONNECT)->lParam), dwSim);

    std::string block(128, '\0');
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>(i * 7);
    std::string acks;
    for (const std::string& bytes : {block, std::string("\x81")}) {
        ASSERT_TRUE(socket.Write(bytes.data(), static_cast<DWORD>(bytes.size())));
        const size_t nBefore = acks.size();
        ASSERT_TRUE(m_wnd.PumpUntil([&] {
            acks.clear();
            for (const CNotice& notice : m_wnd.notices)
                acks += notice.message == WM_TCP_DATA ? notice.bytes : "";
            return acks.size() > nBefore;
        }));
    }
    EXPECT_EQ(acks, "\xFF\xFF");
    socket.Hangup();
    ASSERT_TRUE(m_wnd.PumpUntil([&] { return m_wnd.Count(WM_TCP_CLOSED) == 1; }));
    EXPECT_EQ(static_cast<DWORD>(m_wnd.Last(WM_TCP_CLOSED)->lParam), dwSim);
    socket.Close();

    const char* pszSaved = std::getenv("ORVEX_SIM_SAVE");
    ASSERT_NE(pszSaved, nullptr);
    std::ifstream saved(pszSaved, std::ios::binary);
    const std::string received{std::istreambuf_iterator<char>(saved), {}};
    EXPECT_TRUE(received == block + "\x81") << "the phone got the block and the finishing byte";
    const std::string address = InetNtoa(dwSim);
    EXPECT_TRUE(trace.Contains("Calling " + address + "\n"));
    EXPECT_TRUE(trace.Contains(address + " joined the meeting\n"));
    EXPECT_TRUE(trace.Contains("Hangup by myself\n"));
}

TEST_F(TransportWineTest, Tcp_RefusedConnect_LogsTheNoApplicationLineAndCloses) {
    CTraceCapture trace;
    CTcpSocket socket;
    ASSERT_TRUE(socket.Call(InetAddr("127.0.17.20"), m_wnd.GetSafeHwnd(), 8739));
    ASSERT_TRUE(m_wnd.PumpUntil([&] { return m_wnd.Count(WM_TCP_CONNECT) == 1; }));
    EXPECT_EQ(socket.OnConnect(m_wnd.Last(WM_TCP_CONNECT)->lParam), 0u);
    EXPECT_TRUE(trace.Contains(
        "127.0.17.20 \xB4\xA6\xC3\xBB\xD3\xD0\xD3\xA6\xD3\xC3\xB3\xCC\xD0\xF2\xD3\xA6\xB4\xF0\n"));
    EXPECT_EQ(socket.GetSocket(), INVALID_SOCKET);
    EXPECT_FALSE(socket.Write("x", 1));
}

// Unicast between two sockets: queued datagrams go out in order once the
// socket is writable, each arrives as its own notice, and one longer than
// the receive size is dropped without silencing the socket.
TEST_F(TransportWineTest, Udp_DatagramsInOrderAndAnOversizedOneDropped) {
    constexpr UINT kPort = 41730;
    constexpr UINT kRecvSize = 63;
    const DWORD dwA = ntohl(InetAddr("127.0.17.5"));
    const DWORD dwB = ntohl(InetAddr("127.0.17.6"));
    CTraceCapture trace;
    CUdpSocket a, b;
    const int nHighestBefore = CountOwnThreadsAtPriority(kThreadPriorityHighest);
    ASSERT_TRUE(b.Enter(m_wnd.GetSafeHwnd(), WM_UDP_DATA, dwA, kPort, kRecvSize, dwB));
    ASSERT_TRUE(a.Enter(m_wnd.GetSafeHwnd(), WM_UDP_DATA, dwB, kPort, kRecvSize, dwA));
    EXPECT_EQ(CountOwnThreadsAtPriority(kThreadPriorityHighest), nHighestBefore + 2)
        << "each socket's I/O thread runs at the highest normal priority";
    const std::vector<std::string> datagrams = {"first", std::string(64, 'L'), "second",
                                                std::string(63, 'F')};
    for (const std::string& datagram : datagrams) {
        char* pData = static_cast<char*>(malloc(datagram.size()));
        memcpy(pData, datagram.data(), datagram.size());
        ASSERT_EQ(a.Write(pData, static_cast<DWORD>(datagram.size())), 1);
    }
    ASSERT_TRUE(m_wnd.PumpUntil([&] { return m_wnd.Count(WM_UDP_DATA) == 3; }));
    a.Leave();
    b.Leave();
    std::vector<std::string> received;
    for (const CNotice& notice : m_wnd.notices)
        if (notice.message == WM_UDP_DATA)
            received.push_back(notice.bytes);
    EXPECT_EQ(received, (std::vector<std::string>{"first", "second", std::string(63, 'F')}));
    EXPECT_TRUE(trace.Contains(
        "Datagram of 64 bytes longer than 63 discarded in CUdpSocket::ReadData()\n"));
    EXPECT_TRUE(trace.Contains("UDP IO thread shutting down\n"));
}
