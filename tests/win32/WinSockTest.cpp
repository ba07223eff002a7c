// WinSock under Wine: the platform's non-blocking connect, whose completion
// WinSock posts to a real window, and the readiness wait over
// WSAEventSelect, against the Linux phone simulator on loopback
// (scripts/test-windows.sh starts it and names it in ORVEX_SIM_ADDRESS).
#include "AsyncSelect.h"
#include "MessageQueue.h"
#include "MsgWnd.h"
#include "SocketApi.h"
#include "WinSockApi.h"
#include "WinSockCatalog.h"

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr UINT WM_TEST_CONNECT = WM_USER + 513;
constexpr int kAfInet = 2, kSockStream = 1, kIpProtoTcp = 6;
constexpr int kPhonePort = 8739;
// Nobody listens here: a connect is refused at once.
const char kDeadAddress[] = "127.0.16.2";

class CConnectWnd : public CMsgWnd {
public:
    std::vector<std::pair<WPARAM, LPARAM>> replies;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_TEST_CONNECT)
            replies.emplace_back(wParam, lParam);
        return 0;
    }
};

// A sockaddr_in as WinSock lays it out: family, port and address in network order.
std::array<unsigned char, 16> SocketAddress(const std::string& address, int nPort) {
    unsigned a = 0, b = 0, c = 0, d = 0;
    sscanf(address.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d);
    return {kAfInet,
            0,
            static_cast<unsigned char>(nPort >> 8),
            static_cast<unsigned char>(nPort),
            static_cast<unsigned char>(a),
            static_cast<unsigned char>(b),
            static_cast<unsigned char>(c),
            static_cast<unsigned char>(d)};
}

// Delivers the thread's messages until the window has a reply or time is up.
void PumpUntilReply(CConnectWnd& wnd, DWORD dwMilliseconds) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(dwMilliseconds);
    while (wnd.replies.empty() && std::chrono::steady_clock::now() < deadline) {
        MSG msg;
        if (GetMessage(&msg, 50) && !DispatchMessage(msg))
            ReleaseMessage(msg);
    }
}

// Starts a connect the way the TCP socket does and waits for its outcome.
SOCKET StartConnect(CConnectWnd& wnd, const std::string& address, LPARAM* pReply) {
    const SOCKET s = PlatformSocket(kAfInet, kSockStream, kIpProtoTcp);
    EXPECT_NE(s, static_cast<SOCKET>(INVALID_SOCKET));
    EXPECT_EQ(WSAAsyncSelect(s, wnd.GetSafeHwnd(), WM_TEST_CONNECT, FD_CONNECT), 0);
    const auto name = SocketAddress(address, kPhonePort);
    errno = 0;
    EXPECT_EQ(WSAConnect(s, reinterpret_cast<const sockaddr*>(name.data()), name.size()),
              SOCKET_ERROR);
    EXPECT_EQ(WsaErrorFromErrno(errno), WSAEWOULDBLOCK) << "a non-blocking connect is under way";
    PumpUntilReply(wnd, 5000);
    EXPECT_EQ(wnd.replies.size(), 1u);
    if (!wnd.replies.empty()) {
        EXPECT_EQ(wnd.replies[0].first, static_cast<WPARAM>(s));
        *pReply = wnd.replies[0].second;
    }
    EXPECT_EQ(WSAAsyncSelect(s, wnd.GetSafeHwnd(), 0, 0), 0);
    return s;
}

void SendBytes(SOCKET s, const std::vector<unsigned char>& bytes) {
    int nError = 0;
    EXPECT_EQ(WinSock::Send(s, bytes.data(), static_cast<int>(bytes.size()), &nError),
              static_cast<int>(bytes.size()))
        << "WinSock error " << nError;
}

class WinSockTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        WSADATA data;
        ASSERT_EQ(WSAStartup(0x0202, &data), 0);
    }
    static void TearDownTestSuite() { WSACleanup(); }
    void SetUp() override {
        const char* pszAddress = std::getenv("ORVEX_SIM_ADDRESS");
        if (pszAddress == nullptr)
            GTEST_SKIP() << "no phone simulator (scripts/test-windows.sh starts one)";
        m_simAddress = pszAddress;
    }
    std::string m_simAddress;
};

} // namespace

TEST_F(WinSockTest, Connect_PostsItsOutcomeToTheWindowWithTheErrorInTheHighWord) {
    const std::pair<std::string, int> cases[] = {
        {m_simAddress, 0},
        {kDeadAddress, WSAECONNREFUSED},
    };
    for (const auto& [address, nError] : cases) {
        CConnectWnd wnd;
        ASSERT_TRUE(wnd.Create());
        LPARAM lReply = 0;
        const SOCKET s = StartConnect(wnd, address, &lReply);
        EXPECT_EQ(WSAGETSELECTEVENT(lReply), FD_CONNECT) << address;
        EXPECT_EQ(WSAGETSELECTERROR(lReply), nError) << address;
        EXPECT_EQ(PlatformCloseSocket(s), 0);
    }
}

TEST_F(WinSockTest, Wait_ReportsWritableOnceAndTheAckBeforeTheEvents) {
    CConnectWnd wnd;
    ASSERT_TRUE(wnd.Create());
    LPARAM lReply = 0;
    const SOCKET s = StartConnect(wnd, m_simAddress, &lReply);
    ASSERT_EQ(WSAGETSELECTERROR(lReply), 0);
    CEvent output(false, false), stop(true, false);
    CEvent* events[] = {&output, &stop};
    short nRevents = 0;

    output.Set();
    ASSERT_EQ(WaitForSocketAndEvents(s, POLLIN | POLLOUT, &nRevents, events, 2, 2000), 0u)
        << "the connected socket's writability comes before the output event";
    EXPECT_EQ(nRevents, POLLOUT);
    EXPECT_EQ(WaitForSocketAndEvents(s, POLLIN | POLLOUT, &nRevents, events, 2, 0), 1u)
        << "writability is reported once, not while it lasts";
    EXPECT_EQ(WaitForSocketAndEvents(s, POLLOUT, &nRevents, events, 2, 50),
              static_cast<DWORD>(WAIT_TIMEOUT));

    std::vector<unsigned char> block(128);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<unsigned char>(i * 7);
    std::vector<unsigned char> sent;
    for (const auto& bytes : {block, std::vector<unsigned char>{0x81}}) {
        SendBytes(s, bytes);
        sent.insert(sent.end(), bytes.begin(), bytes.end());
        ASSERT_TRUE(WinSock::WaitReadable(s, 5000)) << "the phone answers";
        stop.Set();
        ASSERT_EQ(WaitForSocketAndEvents(s, POLLIN, &nRevents, events, 2, 5000), 0u)
            << "the phone's answer comes before a stop that is already set";
        EXPECT_EQ(nRevents, POLLIN);
        stop.Reset();
        unsigned char answer[4] = {};
        int nError = 0;
        ASSERT_EQ(WinSock::Receive(s, answer, sizeof answer, &nError), 1) << nError;
        EXPECT_EQ(answer[0], 0xFF);
    }
    stop.Set();
    EXPECT_EQ(WaitForSocketAndEvents(s, POLLIN, &nRevents, events, 2, 1000), 2u);

    const char* pszSaved = std::getenv("ORVEX_SIM_SAVE");
    ASSERT_NE(pszSaved, nullptr);
    std::ifstream saved(pszSaved, std::ios::binary);
    const std::vector<unsigned char> received{std::istreambuf_iterator<char>(saved), {}};
    EXPECT_EQ(received, sent) << "the phone got the block and the finishing byte, in order";
    EXPECT_EQ(PlatformCloseSocket(s), 0);
}

// A datagram socket under WinSock: one readability notice per datagram
// waiting (re-armed by each receive), writability once. Unicast on loopback.
TEST_F(WinSockTest, Wait_ReportsEachWaitingDatagramAndWritabilityOnce) {
    constexpr int kDatagram = 2, kUdp = 17, kPort = 1030;
    const auto receiverName = SocketAddress("127.0.16.3", kPort);
    const SOCKET receiver = PlatformSocket(kAfInet, kDatagram, kUdp);
    const SOCKET sender = PlatformSocket(kAfInet, kDatagram, kUdp);
    ASSERT_NE(receiver, static_cast<SOCKET>(INVALID_SOCKET));
    ASSERT_NE(sender, static_cast<SOCKET>(INVALID_SOCKET));
    ASSERT_EQ(WinSock::Bind(receiver, receiverName.data(), receiverName.size()), 0);
    short nRevents = 0;
    EXPECT_EQ(WaitForSocketAndEvents(receiver, POLLIN, &nRevents, nullptr, 0, 100),
              static_cast<DWORD>(WAIT_TIMEOUT));
    ASSERT_EQ(WaitForSocketAndEvents(receiver, POLLOUT, &nRevents, nullptr, 0, 0), 0u)
        << "the writability WinSock reported to a wait that did not ask is kept for one that does";
    EXPECT_EQ(nRevents, POLLOUT);

    constexpr int kDatagrams = 3;
    for (int i = 0; i < kDatagrams; ++i) {
        const unsigned char datagram[63] = {static_cast<unsigned char>(i)};
        int nError = 0;
        ASSERT_EQ(WinSock::SendTo(sender, datagram, sizeof datagram, receiverName.data(),
                                  receiverName.size(), &nError),
                  static_cast<int>(sizeof datagram))
            << nError;
    }
    ASSERT_TRUE(WinSock::WaitReadable(receiver, 2000));
    for (int i = 0; i < kDatagrams; ++i) {
        ASSERT_EQ(WaitForSocketAndEvents(receiver, POLLIN | POLLOUT, &nRevents, nullptr, 0, 2000),
                  0u)
            << "datagram " << i;
        EXPECT_EQ(nRevents, POLLIN) << "datagram " << i;
        unsigned char buffer[128];
        int nError = 0;
        ASSERT_EQ(WinSock::ReceiveFrom(receiver, buffer, sizeof buffer, &nError), 63) << nError;
        EXPECT_EQ(buffer[0], i) << "in the order sent";
    }
    EXPECT_EQ(WaitForSocketAndEvents(receiver, POLLIN | POLLOUT, &nRevents, nullptr, 0, 100),
              static_cast<DWORD>(WAIT_TIMEOUT))
        << "nothing left to read, and writability is not reported again";
    EXPECT_EQ(PlatformCloseSocket(sender), 0);
    EXPECT_EQ(PlatformCloseSocket(receiver), 0);
}
