// The connect notification on its own: a connect held up by a full accept
// queue completes only when the peer's SYN retransmission is let in, which
// gives a cancel time to act before the outcome exists.
#include "AsyncSelect.h"
#include "MessageQueue.h"
#include "MsgWnd.h"
#include "RawPeer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <functional>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr UINT WM_TEST_CONNECT = WM_USER + 0x100;
constexpr DWORD kSynRetryMs = 4000; // covers the first SYN retransmission (1 s)
constexpr DWORD kLateMs = 200;

class CCountWnd : public CMsgWnd {
public:
    LRESULT WindowProc(UINT message, WPARAM, LPARAM lParam) override {
        if (message == WM_TEST_CONNECT) {
            ++m_nPosts;
            m_lReply = lParam;
        }
        return 0;
    }
    int m_nPosts = 0;
    LPARAM m_lReply = 0;
};

int ConnectedClient(uint16_t nPort) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(nPort);
    addr.sin_addr.s_addr = NetAddress("127.0.3.12");
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool IsConnected(int fd) {
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    return getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &len) == 0;
}

// Delivers messages until pred holds (or, with no pred, until time is up).
void Pump(DWORD dwMilliseconds, const std::function<bool()>& pred = nullptr) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(dwMilliseconds);
    while (!(pred && pred())) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        MSG msg;
        // Short slices: the connect itself is not a message.
        if (left <= 0)
            return;
        if (GetMessage(&msg, static_cast<DWORD>(std::min<long long>(left, 10))))
            DispatchMessage(msg);
    }
}

TEST(AsyncSelectTest, Cancel_BeforeTheConnectCompletes_PostsNothingAfterIt) {
    for (bool bCancel : {false, true}) {
        SCOPED_TRACE(bCancel ? "cancelled" : "not cancelled");
        CRawPeer peer("127.0.3.12", 0, 0, 0);
        ASSERT_TRUE(peer.IsListening());
        // A listen backlog of 0 holds one connection; the next SYN is dropped.
        int filler = ConnectedClient(peer.Port());
        ASSERT_GE(filler, 0);
        CCountWnd wnd;
        ASSERT_TRUE(wnd.Create());
        int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ASSERT_EQ(WSAAsyncSelect(s, wnd.GetSafeHwnd(), WM_TEST_CONNECT, FD_CONNECT), 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(peer.Port());
        addr.sin_addr.s_addr = NetAddress("127.0.3.12");
        ASSERT_EQ(WSAConnect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr), SOCKET_ERROR);
        ASSERT_EQ(errno, EINPROGRESS);
        if (bCancel)
            WSAAsyncSelect(s, wnd.GetSafeHwnd(), 0, 0);
        ASSERT_TRUE(peer.Accept()); // room again: the retransmitted SYN gets in
        Pump(kSynRetryMs, [&] { return IsConnected(s) && (bCancel || wnd.m_nPosts > 0); });
        EXPECT_TRUE(IsConnected(s));
        Pump(kLateMs); // a post would follow the connect at once
        EXPECT_EQ(wnd.m_nPosts, bCancel ? 0 : 1);
        if (!bCancel) {
            EXPECT_EQ(WSAGETSELECTEVENT(wnd.m_lReply), FD_CONNECT);
            EXPECT_EQ(WSAGETSELECTERROR(wnd.m_lReply), 0);
        }
        close(s);
        close(filler);
    }
}

} // namespace
