// Discovery under Wine, in the tool namespace that wine-netns.sh makes, with
// the Linux phone simulator answering from the phone namespace: the
// multicast probe leaves from the local address, the replies become rows.
#include "MessageQueue.h"
#include "PhoneDiscovery.h"
#include "SocketApi.h"
#include "WinSock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace {
constexpr int kRepliesMs = 5000;

void PumpUntil(const CPhoneDiscovery& discovery, int n, int nMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nMs);
    MSG msg;
    while (discovery.Rows().GetItemCount() < n && std::chrono::steady_clock::now() < deadline)
        if (GetMessage(&msg, 20) && !DispatchMessage(msg))
            ReleaseMessage(msg);
}

// The simulator's log, once it holds line (or the time is up).
std::string SimLogWith(const std::string& line) {
    const char* pszLog = std::getenv("ORVEX_NETNS_SIM_LOG");
    std::string text;
    for (int i = 0; i < 100 && pszLog != nullptr; ++i) {
        std::ifstream log(pszLog);
        std::ostringstream all;
        all << log.rdbuf();
        text = all.str();
        if (text.find(line) != std::string::npos)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return text;
}

class DiscoveryWineTest : public testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("ORVEX_NETNS_SIM_LOG") == nullptr)
            GTEST_SKIP() << "not in wine-netns.sh's namespace";
        ASSERT_TRUE(WinSock2Init());
    }
    void TearDown() override {
        if (!IsSkipped())
            WinSock2Free();
    }
};
} // namespace

TEST_F(DiscoveryWineTest, Probe_FromTheLocalAddressAndThreePhonesListedInTextOrder) {
    // 0: the host's own address, which in the namespace is the veth's first;
    // else the address given.
    const struct {
        DWORD dwLocal;
        const char* pszProbeSource;
    } cases[] = {{0, "198.18.0.1"}, {ntohl(InetAddr("198.18.0.3")), "198.18.0.3"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszProbeSource);
        CPhoneDiscovery discovery(c.dwLocal);
        ASSERT_TRUE(discovery.Start());
        PumpUntil(discovery, 3, kRepliesMs);
        discovery.Stop();

        const std::string sent =
            std::string("probe from ") + c.pszProbeSource + ":1025, sent 3 replies";
        const std::string log = SimLogWith(sent);
        EXPECT_NE(std::string::npos, log.find(sent)) << log;
        EXPECT_EQ(std::string::npos, log.find("ignored")) << "the probe is the exact 13 bytes";
        const CPhoneRows& rows = discovery.Rows();
        ASSERT_EQ(3, rows.GetItemCount());
        EXPECT_EQ((PhoneTexts{"192.168.0.20", "00-09-45-10-ab-cd", "VoIP v2.3", "pppoe", "2001",
                              "Yes", "No"}),
                  rows.Row(0));
        EXPECT_EQ(
            (PhoneTexts{"192.168.1.10", "00-09-45-10-ab-02", "Desk v1", "", "3010", "No", "No"}),
            rows.Row(1));
        EXPECT_EQ((PhoneTexts{"192.168.1.9", "00-09-45-10-ab-01", "Desk v1", "static", "3009",
                              "Yes", "Yes"}),
                  rows.Row(2));
    }
}
