// WinSock started for the whole run of a suite whose cases use sockets or
// name look-ups without starting it themselves, as the programs do at start.
#include "WinSockCatalog.h"

#include <gtest/gtest.h>

namespace {
class CWinSockEnvironment : public testing::Environment {
public:
    void SetUp() override {
        WSADATA data{};
        ASSERT_EQ(WSAStartup(0x0202, &data), 0);
    }
    void TearDown() override { WSACleanup(); }
};

testing::Environment* const g_pWinSock = testing::AddGlobalTestEnvironment(new CWinSockEnvironment);
} // namespace
