// Start-up and the protocol catalogue as the transport's start-up uses them:
// version 2.0 granted, the size asked first, then a TCP/IPv4 stream entry
// with a 16-byte address. The same suite runs on Linux and under Wine.
#include "WinSockCatalog.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
constexpr int kInet = 2, kStream = 1, kDatagram = 2, kTcp = 6, kUdp = 17;
} // namespace

TEST(WinSockCatalog, Startup_GrantsTheVersionAskedForUpToTwoTwo) {
    struct Case {
        WORD wRequested;
        int nError;
        WORD wGranted;
    };
    const Case cases[] = {
        {0x0002, 0, 0x0002}, // 2.0, as the tool asks
        {0x0202, 0, 0x0202},
        {0x0303, 0, 0x0202}, // above what there is: the highest
        {0x0000, WSAVERNOTSUPPORTED, 0},
    };
    for (const Case& c : cases) {
        WSADATA data{};
        ASSERT_EQ(WSAStartup(c.wRequested, &data), c.nError) << std::hex << c.wRequested;
        if (c.nError != 0)
            continue;
        EXPECT_EQ(data.wVersion, c.wGranted) << std::hex << c.wRequested;
        EXPECT_EQ(data.wHighVersion, 0x0202);
        EXPECT_EQ(WSACleanup(), 0);
    }
}

TEST(WinSockCatalog, EnumProtocols_SizeFirstThenEntriesWithTheTcpStream) {
    WSADATA data{};
    ASSERT_EQ(WSAStartup(0x0002, &data), 0);
    DWORD dwSize = 0;
    EXPECT_EQ(WSAEnumProtocols(nullptr, nullptr, &dwSize), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOBUFS);
    ASSERT_GT(dwSize, 0u);
    ASSERT_EQ(dwSize % sizeof(WSAPROTOCOL_INFO), 0u);
    std::vector<WSAPROTOCOL_INFO> entries(dwSize / sizeof(WSAPROTOCOL_INFO));
    DWORD dwShort = dwSize - 1;
    EXPECT_EQ(WSAEnumProtocols(nullptr, entries.data(), &dwShort), SOCKET_ERROR)
        << "a buffer one byte short is too small";
    EXPECT_EQ(dwShort, dwSize);
    ASSERT_EQ(WSAEnumProtocols(nullptr, entries.data(), &dwSize), static_cast<int>(entries.size()));
    bool bTcp = false, bUdp = false;
    for (const WSAPROTOCOL_INFO& entry : entries) {
        if (entry.iAddressFamily != kInet)
            continue;
        bTcp |= entry.iSocketType == kStream && entry.iProtocol == kTcp && entry.iMaxSockAddr == 16;
        bUdp |= entry.iSocketType == kDatagram && entry.iProtocol == kUdp;
    }
    EXPECT_TRUE(bTcp);
    EXPECT_TRUE(bUdp);

    const int onlyUdp[] = {kUdp, 0};
    DWORD dwUdpSize = dwSize;
    const int nUdp = WSAEnumProtocols(onlyUdp, entries.data(), &dwUdpSize);
    ASSERT_GT(nUdp, 0);
    for (int i = 0; i < nUdp; ++i)
        EXPECT_EQ(entries[i].iProtocol, kUdp);
    EXPECT_EQ(WSACleanup(), 0);
}
