// A connect with no route to its peer, which loopback cannot give: inside the
// tool namespace, whose only routes are its veth's.
#include "Netns.h"

#include "MessageQueue.h"
#include "MsgWnd.h"
#include "SocketApi.h"
#include "TcpSocket.h"
#include "TraceCapture.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

namespace {

constexpr DWORD kWaitMs = 5000;

class CConnectWnd : public CMsgWnd {
public:
    LRESULT WindowProc(UINT message, WPARAM, LPARAM lParam) override {
        if (message == WM_TCP_CONNECT)
            m_lReply = lParam;
        return 0;
    }
    LPARAM m_lReply = -1;
};

TEST_F(CNetnsTest, OnConnect_NoRoute_LogsNotOnTheNetworkLine) {
    CTraceCapture trace;
    ASSERT_TRUE(m_pNetns->RunInTool([&] {
        std::string why;
        ASSERT_TRUE(CNetns::IsConfined(&why)) << why;
        CConnectWnd wnd;
        ASSERT_TRUE(wnd.Create());
        CTcpSocket socket;
        in_addr addr{};
        inet_pton(AF_INET, "10.99.0.1", &addr); // no route inside the namespace
        ASSERT_TRUE(socket.Call(addr.s_addr, wnd.GetSafeHwnd(), 8739));
        MSG msg;
        while (wnd.m_lReply == -1 && GetMessage(&msg, kWaitMs))
            DispatchMessage(msg);
        ASSERT_NE(wnd.m_lReply, -1);
        EXPECT_EQ(WSAGETSELECTERROR(wnd.m_lReply), WSAENETUNREACH);
        EXPECT_EQ(socket.OnConnect(wnd.m_lReply), 0u);
        EXPECT_EQ(socket.GetSocket(), INVALID_SOCKET);
    }));
    // " 没有在网络上\n" in GB2312
    EXPECT_TRUE(trace.Contains("10.99.0.1 \xC3\xBB\xD3\xD0\xD4\xDA\xCD\xF8\xC2\xE7\xC9\xCF\n"));
}

} // namespace
