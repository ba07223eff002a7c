#include "RawPeer.h"

#include "MessageQueue.h"
#include "MsgWnd.h"
#include "SocketApi.h"
#include "TcpSocket.h"
#include "TraceCapture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <thread>
#include <vector>

namespace {

constexpr int kWaitMs = 5000; // generous: only a broken socket ever waits this long

struct CNotice {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    std::string data; // WM_TCP_DATA bytes
};

// The owner window: keeps every notification, taking over received records,
// which it frees at once, or holds while m_bHold is set.
class COwnerWnd : public CMsgWnd {
public:
    ~COwnerWnd() override { FreeHeld(); }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_TCP_CONNECT || message == WM_TCP_DATA || message == WM_TCP_CLOSED) {
            CNotice notice{message, wParam, lParam, {}};
            if (message == WM_TCP_DATA) {
                auto* pBuf = reinterpret_cast<WSABUF*>(lParam);
                notice.data.assign(pBuf->buf, pBuf->len);
                m_nBytes += pBuf->len;
                if (m_bHold)
                    m_held.push_back(pBuf);
                else
                    FreeWsaBuf(pBuf);
            }
            m_notices.push_back(notice);
        }
        return 0;
    }
    void FreeHeld() {
        for (WSABUF* pBuf : m_held)
            FreeWsaBuf(pBuf);
        m_held.clear();
    }
    std::vector<CNotice> m_notices;
    size_t m_nBytes = 0; // received so far
    bool m_bHold = false;
    std::vector<WSABUF*> m_held;
};

// Delivers the test thread's messages until pred holds or time runs out.
bool PumpUntil(const std::function<bool()>& pred, int nTimeoutMs = kWaitMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(nTimeoutMs);
    while (!pred()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        MSG msg;
        if (left <= 0 || !GetMessage(&msg, static_cast<DWORD>(left)))
            return false;
        DispatchMessage(msg);
    }
    return true;
}

int CountThreads() {
    int n = 0;
    if (DIR* pDir = opendir("/proc/self/task")) {
        while (dirent* pEntry = readdir(pDir))
            n += pEntry->d_name[0] != '.';
        closedir(pDir);
    }
    return n;
}

// A byte stream where a lost, doubled or reordered block shows.
std::string Pattern(size_t nOffset, size_t nCount) {
    std::string s(nCount, '\0');
    for (size_t i = 0; i < nCount; ++i)
        s[i] = static_cast<char>((nOffset + i) % 251);
    return s;
}

class TcpSocketTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_wnd.Create()); }

    size_t Count(UINT message) const {
        size_t n = 0;
        for (const CNotice& notice : m_wnd.m_notices)
            n += notice.message == message;
        return n;
    }
    const CNotice* Find(UINT message) const {
        for (const CNotice& notice : m_wnd.m_notices)
            if (notice.message == message)
                return &notice;
        return nullptr;
    }
    // Call, accept on the peer, and hand the completion back as the owner does.
    bool Connect(CRawPeer& peer, const char* pszAddress) {
        if (!m_socket.Call(NetAddress(pszAddress), m_wnd.GetSafeHwnd(), peer.Port()) ||
            !peer.Accept())
            return false;
        if (!PumpUntil([this] { return Count(WM_TCP_CONNECT) == 1; }))
            return false;
        return m_socket.OnConnect(Find(WM_TCP_CONNECT)->lParam) != 0;
    }
    std::string Received() const {
        std::string all;
        for (const CNotice& notice : m_wnd.m_notices)
            if (notice.message == WM_TCP_DATA)
                all += notice.data;
        return all;
    }

    CTraceCapture m_trace;
    COwnerWnd m_wnd;
    CTcpSocket m_socket;
};

TEST_F(TcpSocketTest, Call_PortZero_ConnectsTo8739) {
    CRawPeer peer("127.0.3.1", 8739);
    ASSERT_TRUE(peer.IsListening());
    ASSERT_TRUE(m_socket.Call(NetAddress("127.0.3.1"), m_wnd.GetSafeHwnd(), 0));
    ASSERT_TRUE(peer.Accept());
    ASSERT_TRUE(PumpUntil([this] { return Count(WM_TCP_CONNECT) == 1; }));
    const CNotice* pConnect = Find(WM_TCP_CONNECT);
    EXPECT_EQ(pConnect->wParam, static_cast<WPARAM>(m_socket.GetSocket()));
    EXPECT_EQ(WSAGETSELECTEVENT(pConnect->lParam), FD_CONNECT);
    EXPECT_EQ(WSAGETSELECTERROR(pConnect->lParam), 0);
    EXPECT_EQ(m_socket.OnConnect(pConnect->lParam), NetAddress("127.0.3.1"));
}

TEST_F(TcpSocketTest, OnConnect_Refused_Logs10061LineClosesAndStartsNoThread) {
    // Nothing listens on 127.0.3.2.
    ASSERT_TRUE(m_socket.Call(NetAddress("127.0.3.2"), m_wnd.GetSafeHwnd(), 8739));
    const SOCKET s = m_socket.GetSocket();
    ASSERT_TRUE(PumpUntil([this] { return Count(WM_TCP_CONNECT) == 1; }));
    const CNotice* pConnect = Find(WM_TCP_CONNECT);
    EXPECT_EQ(pConnect->wParam, static_cast<WPARAM>(s));
    EXPECT_EQ(WSAGETSELECTEVENT(pConnect->lParam), FD_CONNECT);
    EXPECT_EQ(WSAGETSELECTERROR(pConnect->lParam), WSAECONNREFUSED);
    const int nThreads = CountThreads();
    EXPECT_EQ(m_socket.OnConnect(pConnect->lParam), 0u);
    EXPECT_EQ(CountThreads(), nThreads);
    // " 处没有应用程序应答\n" in GB2312
    EXPECT_TRUE(m_trace.Contains(
        "127.0.3.2 \xB4\xA6\xC3\xBB\xD3\xD0\xD3\xA6\xD3\xC3\xB3\xCC\xD0\xF2\xD3\xA6\xB4\xF0\n"));
    EXPECT_EQ(m_socket.GetSocket(), INVALID_SOCKET);
    EXPECT_EQ(fcntl(s, F_GETFD), -1);
    EXPECT_FALSE(m_socket.Write("x", 1));
}

TEST_F(TcpSocketTest, Call_SocketRefused_LogsAndStaysIdle) {
    CSocketApiHooks hooks;
    hooks.fnSocket = [](int, int, int) {
        errno = EMFILE;
        return -1;
    };
    SetSocketApiHooks(hooks);
    EXPECT_FALSE(m_socket.Call(NetAddress("127.0.3.3"), m_wnd.GetSafeHwnd(), 8739));
    SetSocketApiHooks({});
    EXPECT_FALSE(m_socket.Write("x", 1));
}

TEST_F(TcpSocketTest, Write_BeforeConnectCompletes_IsSentAfterIt) {
    CRawPeer peer("127.0.3.4", 0);
    ASSERT_TRUE(m_socket.Call(NetAddress("127.0.3.4"), m_wnd.GetSafeHwnd(), peer.Port()));
    EXPECT_TRUE(m_socket.Write("early", 5));
    ASSERT_TRUE(peer.Accept());
    ASSERT_TRUE(PumpUntil([this] { return Count(WM_TCP_CONNECT) == 1; }));
    ASSERT_NE(m_socket.OnConnect(Find(WM_TCP_CONNECT)->lParam), 0u);
    std::string data;
    ASSERT_TRUE(peer.Read(5, &data));
    EXPECT_EQ(data, "early");
}

TEST_F(TcpSocketTest, Close_TwiceThenWrite_RefusedAndTheSocketServesAgain) {
    CRawPeer peer("127.0.3.6", 0);
    ASSERT_TRUE(Connect(peer, "127.0.3.6"));
    m_socket.Close();
    m_socket.Close();
    EXPECT_EQ(m_socket.GetSocket(), INVALID_SOCKET);
    EXPECT_FALSE(m_socket.Write("late", 4));
    EXPECT_EQ(peer.ReadUntilQuiet(200), "");
    // The socket can be used again after it.
    CRawPeer again("127.0.3.6", 0);
    m_wnd.m_notices.clear();
    ASSERT_TRUE(Connect(again, "127.0.3.6"));
    ASSERT_TRUE(m_socket.Write("ok", 2));
    std::string data;
    ASSERT_TRUE(again.Read(2, &data));
    EXPECT_EQ(data, "ok");
}

TEST_F(TcpSocketTest, Write_SizeBound_AcceptsABlockRefusesMore) {
    const struct {
        DWORD nCount;
        bool bAccepted;
    } cases[] = {{0, true}, {1, true}, {1536, true}, {1537, false}, {100000, false}};
    CRawPeer peer("127.0.3.7", 0);
    ASSERT_TRUE(Connect(peer, "127.0.3.7"));
    const std::string big = Pattern(0, 100000);
    size_t nSent = 0;
    for (const auto& c : cases) {
        EXPECT_EQ(m_socket.Write(big.data(), c.nCount) != FALSE, c.bAccepted) << c.nCount;
        nSent += c.bAccepted ? c.nCount : 0;
    }
    std::string data;
    ASSERT_TRUE(peer.Read(nSent, &data));
    EXPECT_EQ(data, big.substr(0, 1) + big.substr(0, 1536));
}

// The peer reads nothing until our send buffer is full, so sends would block,
// then drains a part and waits for it to fill again. Whether the send that
// fills the buffer is short depends on where the kernel's buffers end, so the
// cycle repeats until a short send has happened.
TEST_F(TcpSocketTest, Write_WouldBlockAndShortSends_KeepEveryByteOnceInOrder) {
    CRawPeer peer("127.0.3.8", 0, 4096);
    ASSERT_TRUE(Connect(peer, "127.0.3.8"));
    constexpr size_t kChunk = 1000; // not a divisor of the kernel's buffer sizes
    constexpr size_t kChunks = 4000;
    constexpr size_t kDrain = 100000;
    for (size_t i = 0; i < kChunks; ++i)
        ASSERT_TRUE(m_socket.Write(Pattern(i * kChunk, kChunk).data(), kChunk));
    const SOCKET s = m_socket.GetSocket();
    const std::string shortSend = "Not all data sent out in CTcpSocket::HandleOutputEvent()!\n";
    std::string data;
    while (!m_trace.Contains(shortSend) && data.size() + 2 * kDrain < kChunk * kChunks) {
        // Our side stops being writable: the I/O thread has met a full buffer.
        ASSERT_TRUE(PumpUntil([s] {
            pollfd pfd{s, POLLOUT, 0};
            return poll(&pfd, 1, 0) == 0;
        }));
        std::string part;
        ASSERT_TRUE(peer.Read(kDrain, &part));
        data += part;
    }
    EXPECT_TRUE(m_trace.Contains(shortSend));
    std::string rest;
    ASSERT_TRUE(peer.Read(kChunk * kChunks - data.size(), &rest, 30000));
    data += rest;
    EXPECT_TRUE(data == Pattern(0, kChunk * kChunks));
    EXPECT_EQ(peer.ReadUntilQuiet(100), "");
}

TEST_F(TcpSocketTest, Receive_MoreThan1535Waiting_ArrivesAsSeveralRecords) {
    CRawPeer peer("127.0.3.9", 0);
    ASSERT_TRUE(m_socket.Call(NetAddress("127.0.3.9"), m_wnd.GetSafeHwnd(), peer.Port()));
    ASSERT_TRUE(peer.Accept());
    const std::string sent = Pattern(0, 4000);
    ASSERT_TRUE(peer.Send(sent)); // waiting before the I/O thread starts
    ASSERT_TRUE(PumpUntil([this] { return Count(WM_TCP_CONNECT) == 1; }));
    ASSERT_NE(m_socket.OnConnect(Find(WM_TCP_CONNECT)->lParam), 0u);
    ASSERT_TRUE(PumpUntil([this, &sent] { return Received().size() >= sent.size(); }));
    EXPECT_EQ(Received(), sent);
    EXPECT_GE(Count(WM_TCP_DATA), 3u);
    for (const CNotice& notice : m_wnd.m_notices) {
        if (notice.message == WM_TCP_DATA) {
            EXPECT_LE(notice.data.size(), 1535u);
            EXPECT_EQ(notice.wParam, static_cast<WPARAM>(m_socket.GetSocket()));
        }
    }
}

TEST_F(TcpSocketTest, PeerOrderlyClose_GivesItsDataThenZeroLengthDataThenClosed) {
    struct Case {
        const char* pszAddress;
        // The data and the close reach the socket before its I/O thread runs,
        // so the first wait sees both at once.
        bool bBeforeIoThread;
    };
    const Case cases[] = {{"127.0.3.10", false}, {"127.0.3.13", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszAddress);
        m_wnd.m_notices.clear();
        CRawPeer peer(c.pszAddress, 0);
        const std::string sent = "\xFF" + Pattern(0, 300);
        if (c.bBeforeIoThread) {
            ASSERT_TRUE(m_socket.Call(NetAddress(c.pszAddress), m_wnd.GetSafeHwnd(), peer.Port()));
            ASSERT_TRUE(peer.Accept());
            ASSERT_TRUE(peer.Send(sent));
            peer.CloseConnection();
            ASSERT_TRUE(PumpUntil([this] { return Count(WM_TCP_CONNECT) == 1; }));
            ASSERT_NE(m_socket.OnConnect(Find(WM_TCP_CONNECT)->lParam), 0u);
        } else {
            ASSERT_TRUE(Connect(peer, c.pszAddress));
            ASSERT_TRUE(peer.Send(sent));
            peer.CloseConnection();
        }
        const SOCKET s = m_socket.GetSocket();
        ASSERT_TRUE(PumpUntil([this] { return Count(WM_TCP_CLOSED) == 1; }));
        const std::vector<CNotice>& notices = m_wnd.m_notices;
        ASSERT_GE(notices.size(), 3u);
        const CNotice& closed = notices.back();
        const CNotice& last = notices[notices.size() - 2];
        EXPECT_EQ(closed.wParam, static_cast<WPARAM>(s));
        EXPECT_EQ(closed.lParam, static_cast<LPARAM>(NetAddress(c.pszAddress)));
        EXPECT_EQ(last.message, static_cast<UINT>(WM_TCP_DATA));
        EXPECT_EQ(last.data.size(), 0u);
        EXPECT_EQ(Received(), sent);
        m_socket.Close(); // what the owner does on WM_TCP_CLOSED
        EXPECT_EQ(m_socket.GetSocket(), INVALID_SOCKET);
    }
}

// A peer that streams at full speed while the owner holds every record: the
// socket stops reading at its bound, so TCP holds the peer back; once the
// owner frees the records, reading resumes and every byte arrives in order.
TEST_F(TcpSocketTest, PeerStreamingWhileTheOwnerHolds_IsHeldAtTheBoundThenArrivesInOrder) {
    constexpr size_t kTotal = 16 * 1024 * 1024; // far beyond the kernel's buffers
    constexpr int kQuietMs = 300;
    CRawPeer peer("127.0.3.14", 0);
    ASSERT_TRUE(Connect(peer, "127.0.3.14"));
    const std::string sent = Pattern(0, kTotal);
    std::thread streamer([&] { peer.Send(sent); });
    m_wnd.m_bHold = true;
    // Delivered until nothing more comes: the socket has stopped reading.
    size_t nHeld = 0;
    do
        nHeld = m_wnd.m_held.size();
    while (PumpUntil([&] { return m_wnd.m_held.size() > nHeld; }, kQuietMs));
    EXPECT_GT(m_wnd.m_nBytes, 0u);
    // However fast the peer, at most 256 KiB are held from it.
    EXPECT_LE(m_wnd.m_nBytes, 256u * 1024);

    m_wnd.m_bHold = false;
    m_wnd.FreeHeld();
    const bool bAll = PumpUntil([&] { return m_wnd.m_nBytes >= kTotal; }, 30000);
    if (!bAll)
        m_socket.Close(); // resets the connection, which unblocks the streamer
    streamer.join();
    ASSERT_TRUE(bAll) << m_wnd.m_nBytes << " of " << kTotal << " bytes";
    EXPECT_TRUE(Received() == sent);
}

TEST_F(TcpSocketTest, Hangup_EndsIoThreadWithClosedNotice) {
    CRawPeer peer("127.0.3.11", 0);
    ASSERT_TRUE(Connect(peer, "127.0.3.11"));
    m_socket.Hangup();
    ASSERT_TRUE(PumpUntil([this] { return Count(WM_TCP_CLOSED) == 1; }));
    // Queued after the thread ended: accepted, never sent, freed by Close.
    EXPECT_TRUE(m_socket.Write("never", 5));
    m_socket.Close();
    EXPECT_EQ(peer.ReadUntilQuiet(100), "");
}

} // namespace
