// WinSock under Wine: the platform's non-blocking connect, whose completion
// WinSock posts to a real window, and the network events of a connected
// socket, against the Linux phone simulator on loopback
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

namespace {

// The notices WSAEnumNetworkEvents gives after the wait reported the
// network event; -1 when the wait reported something else.
long Notices(SOCKET s, CEvent& network, CEvent& output, CEvent& stop, DWORD dwMilliseconds,
             DWORD* pdwResult) {
    HEVENT const events[] = {&network, &output, &stop};
    *pdwResult = WSAWaitForMultipleEvents(3, events, dwMilliseconds);
    if (*pdwResult != WSA_WAIT_EVENT_0)
        return -1;
    WSANETWORKEVENTS notices;
    EXPECT_EQ(WSAEnumNetworkEvents(s, &network, &notices), 0);
    return notices.lNetworkEvents;
}

} // namespace

TEST_F(WinSockTest, NetworkEvents_WritableOnceAndTheAckBeforeTheEvents) {
    CConnectWnd wnd;
    ASSERT_TRUE(wnd.Create());
    LPARAM lReply = 0;
    const SOCKET s = StartConnect(wnd, m_simAddress, &lReply);
    ASSERT_EQ(WSAGETSELECTERROR(lReply), 0);
    CEvent network(false, false), output(false, false), stop(true, false);
    ASSERT_EQ(WSAEventSelect(s, &network, FD_READ | FD_WRITE | FD_CLOSE), 0);
    DWORD dwResult = 0;

    output.Set();
    EXPECT_EQ(Notices(s, network, output, stop, 2000, &dwResult), FD_WRITE)
        << "the connected socket's writability comes before the output event";
    EXPECT_EQ(Notices(s, network, output, stop, 0, &dwResult), -1);
    EXPECT_EQ(dwResult, WSA_WAIT_EVENT_0 + 1) << "writability is reported once, not while it lasts";
    EXPECT_EQ(Notices(s, network, output, stop, 50, &dwResult), -1);
    EXPECT_EQ(dwResult, WSA_WAIT_TIMEOUT);

    std::vector<unsigned char> block(128);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<unsigned char>(i * 7);
    std::vector<unsigned char> sent;
    for (const auto& bytes : {block, std::vector<unsigned char>{0x81}}) {
        ASSERT_EQ(PlatformSend(s, bytes.data(), static_cast<int>(bytes.size())),
                  static_cast<int>(bytes.size()));
        sent.insert(sent.end(), bytes.begin(), bytes.end());
        ASSERT_TRUE(WinSock::WaitReadable(s, 5000)) << "the phone answers";
        stop.Set();
        EXPECT_EQ(Notices(s, network, output, stop, 5000, &dwResult), FD_READ)
            << "the phone's answer comes before a stop that is already set";
        stop.Reset();
        unsigned char answer[4] = {};
        ASSERT_EQ(PlatformReceive(s, answer, sizeof answer), 1) << errno;
        EXPECT_EQ(answer[0], 0xFF);
    }
    stop.Set();
    EXPECT_EQ(Notices(s, network, output, stop, 1000, &dwResult), -1);
    EXPECT_EQ(dwResult, WSA_WAIT_EVENT_0 + 2);

    const char* pszSaved = std::getenv("ORVEX_SIM_SAVE");
    ASSERT_NE(pszSaved, nullptr);
    std::ifstream saved(pszSaved, std::ios::binary);
    const std::vector<unsigned char> received{std::istreambuf_iterator<char>(saved), {}};
    EXPECT_EQ(received, sent) << "the phone got the block and the finishing byte, in order";
    EXPECT_EQ(WSAEventSelect(s, nullptr, 0), 0);
    EXPECT_EQ(PlatformCloseSocket(s), 0);
}
