// The socket calls and WinSock's network events, through SocketApi.h only,
// so the same cases run on Linux and, built for Windows, under Wine.
#include "SocketApi.h"
#include "WinSockCatalog.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

namespace {

// Sockets need WinSock started on Windows; on Linux this is harmless.
const bool g_bWinSockStarted = [] {
    WSADATA data{};
    return WSAStartup(0x0202, &data) == 0;
}();

sockaddr_in Address(const char* pszAddress, uint16_t nPort) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(nPort);
    address.sin_addr.s_addr = InetAddr(pszAddress);
    return address;
}

// A UDP socket bound to an address of this suite's block, on a free port.
struct CBoundUdp {
    SOCKET s = PlatformSocket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in address{};
    explicit CBoundUdp(const char* pszAddress) {
        EXPECT_TRUE(g_bWinSockStarted);
        for (uint16_t nPort = 41700; s != INVALID_SOCKET && nPort < 41800; ++nPort) {
            address = Address(pszAddress, nPort);
            if (PlatformBind(s, address) == 0)
                return;
        }
        ADD_FAILURE() << "no free port on " << pszAddress;
    }
    ~CBoundUdp() { PlatformCloseSocket(s); }
};

// The notices the next wait of up to dwMilliseconds reports for the socket:
// -1 when the wait reports something else, 0 for none in time.
long NextNotices(SOCKET s, CEvent& network, CEvent& other, DWORD dwMilliseconds) {
    HEVENT const events[] = {&network, &other};
    const DWORD dwResult = WSAWaitForMultipleEvents(2, events, dwMilliseconds);
    if (dwResult == WSA_WAIT_TIMEOUT)
        return 0;
    if (dwResult != WSA_WAIT_EVENT_0)
        return -1;
    WSANETWORKEVENTS notices;
    if (WSAEnumNetworkEvents(s, &network, &notices) != 0)
        return -1;
    return notices.lNetworkEvents;
}

} // namespace

TEST(SocketApi, WsaErrorFromErrno_MapsTheCodesTheTransportTests) {
    const std::pair<int, int> cases[] = {
        {0, 0},
        {EAGAIN, WSAEWOULDBLOCK},
        {EINPROGRESS, WSAEWOULDBLOCK},
        {ENETDOWN, WSAENETDOWN},
        {ENOBUFS, WSAENOBUFS},
        {ETIMEDOUT, WSAETIMEDOUT},
        {ECONNREFUSED, WSAECONNREFUSED},
        {EADDRINUSE, WSAEADDRINUSE},
        {ENETUNREACH, WSAENETUNREACH},
    };
    for (auto [err, wsa] : cases)
        EXPECT_EQ(WsaErrorFromErrno(err), wsa) << "errno " << err;
}

TEST(SocketApi, Addresses_TextAndBackAndTheHostsOwn) {
    EXPECT_EQ(InetNtoa(InetAddr("127.0.17.9")), "127.0.17.9");
    EXPECT_EQ(htonl(0x7F001109), InetAddr("127.0.17.9"));
    EXPECT_EQ(InetAddr("not an address"), INADDR_NONE);
    const std::vector<DWORD> loopback = GetHostAddresses("localhost");
    ASSERT_FALSE(loopback.empty());
    EXPECT_EQ(ntohl(loopback.front()) >> 24, 127u);
    std::string name;
    ASSERT_TRUE(GetHostName(&name));
    EXPECT_FALSE(name.empty());
    bool bLoopback = false;
    for (const CInterfaceAddress& entry : GetInterfaceAddresses())
        bLoopback =
            bLoopback || (entry.bLoopback && entry.bUp && (ntohl(entry.dwAddress) >> 24) == 127);
    EXPECT_TRUE(bLoopback) << "the loopback interface is listed, up";
}

// What the transport relies on: one readability notice per pending
// datagram, and a writability notice once the socket is ready, not again
// while it stays writable.
TEST(SocketApi, NetworkEvents_ReadPerDatagramWriteOnce) {
    CBoundUdp receiver("127.0.17.1");
    CBoundUdp sender("127.0.17.2");
    CEvent network(false, false), stop(true, false);
    ASSERT_EQ(WSAEventSelect(receiver.s, &network, FD_READ | FD_WRITE), 0);
    EXPECT_EQ(NextNotices(receiver.s, network, stop, 2000), FD_WRITE);
    EXPECT_EQ(NextNotices(receiver.s, network, stop, 50), 0) << "no second FD_WRITE";

    ASSERT_EQ(PlatformSendTo(sender.s, "one", 3, receiver.address), 3);
    ASSERT_EQ(PlatformSendTo(sender.s, "two!", 4, receiver.address), 4);
    // The stop is set only at the end: Wine re-arms FD_READ after a receive a
    // moment later than Windows does, and the order of served events has a
    // test of its own below.
    EXPECT_EQ(NextNotices(receiver.s, network, stop, 2000), FD_READ);
    char buffer[16];
    sockaddr_in from{};
    EXPECT_EQ(PlatformReceiveFrom(receiver.s, buffer, sizeof buffer, &from), 3);
    // Wine reports any loopback sender as 127.0.0.1: the port tells it.
    EXPECT_EQ(ntohl(from.sin_addr.s_addr) >> 24, 127u);
    EXPECT_EQ(from.sin_port, sender.address.sin_port);
    EXPECT_EQ(NextNotices(receiver.s, network, stop, 2000), FD_READ) << "the second datagram";
    EXPECT_EQ(PlatformReceiveFrom(receiver.s, buffer, sizeof buffer, &from), 4);
    EXPECT_EQ(NextNotices(receiver.s, network, stop, 50), 0) << "no third FD_READ";
    stop.Set();
    EXPECT_EQ(NextNotices(receiver.s, network, stop, 50), -1) << "only the stop is left";
    EXPECT_EQ(PlatformReceiveFrom(receiver.s, buffer, sizeof buffer, &from), SOCKET_ERROR);
    EXPECT_EQ(WsaErrorFromErrno(errno), WSAEWOULDBLOCK) << "selected sockets never block";
}

TEST(SocketApi, Wait_ServesEventsInArrayOrderAndConsumesAutoReset) {
    CEvent output(false, false), stop(true, false);
    HEVENT const events[] = {&output, &stop};
    output.Set();
    stop.Set();
    EXPECT_EQ(WSAWaitForMultipleEvents(2, events, 0), WSA_WAIT_EVENT_0);
    EXPECT_EQ(WSAWaitForMultipleEvents(2, events, 0), WSA_WAIT_EVENT_0 + 1);
    EXPECT_EQ(WSAWaitForMultipleEvents(2, events, 0), WSA_WAIT_EVENT_0 + 1) << "manual reset stays";
    stop.Reset();
    EXPECT_EQ(WSAWaitForMultipleEvents(2, events, 20), WSA_WAIT_TIMEOUT);
}
