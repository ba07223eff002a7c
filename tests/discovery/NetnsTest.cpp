// The namespace fixture itself: what the discovery tests rely on to keep
// multicast and private addresses off the machine's own network.
#include "Netns.h"

#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

TEST(NetnsTest, MachineNamespace_IsNotConfined) {
    std::string why;
    EXPECT_FALSE(CNetns::IsConfined(&why));
    EXPECT_FALSE(why.empty());
}

TEST_F(CNetnsTest, ToolThread_IsConfinedAndThreadsItStartsToo) {
    bool bChild = false;
    std::string why;
    ASSERT_TRUE(m_pNetns->RunInTool([&] {
        EXPECT_TRUE(CNetns::IsConfined(&why)) << why;
        // Socket I/O threads are started by the thread that entered.
        std::thread child([&] { bChild = CNetns::IsConfined(nullptr); });
        child.join();
    }));
    EXPECT_TRUE(bChild);
    EXPECT_FALSE(CNetns::IsConfined(nullptr)) << "the guard must return the thread";
}

TEST_F(CNetnsTest, SecondPairAtOnce_NeitherSeesTheOther) {
    // Parallel suites each make their pair under the same veth names.
    CNetns second;
    ASSERT_TRUE(second.IsReady()) << second.Error();
    ASSERT_TRUE(second.AddPhoneAddress("192.168.1.1"));
    std::unique_ptr<CChildProcess> pChild =
        m_pNetns->Spawn(CNetns::Phone, {"ip", "-4", "-o", "addr"});
    ASSERT_TRUE(pChild);
    ASSERT_NE(-1, pChild->Wait(5000));
    EXPECT_EQ(pChild->Output().find("192.168.1.1"), std::string::npos) << pChild->Output();
}

TEST_F(CNetnsTest, HostName_ResolvesToLoopbackInsideTool) {
    // The tool's local-address fallback depends on this.
    char name[128] = {};
    ASSERT_EQ(0, gethostname(name, sizeof name - 1));
    std::unique_ptr<CChildProcess> pChild = m_pNetns->Spawn(CNetns::Tool, {"getent", "ahostsv4", name});
    ASSERT_TRUE(pChild);
    pChild->Wait(5000);
    EXPECT_EQ(0u, pChild->Output().rfind("127.", 0)) << pChild->Output();
}

TEST_F(CNetnsTest, Spawn_RunsInsidePhoneWithExtraAddress) {
    ASSERT_TRUE(m_pNetns->AddPhoneAddress("192.168.1.1"));
    std::unique_ptr<CChildProcess> pChild = m_pNetns->Spawn(CNetns::Phone, {"ip", "-4", "-o", "addr"});
    ASSERT_TRUE(pChild);
    ASSERT_NE(-1, pChild->Wait(5000));
    EXPECT_NE(pChild->Output().find("192.168.1.1/32"), std::string::npos) << pChild->Output();
    EXPECT_NE(pChild->Output().find(CNetns::kPhoneAddress), std::string::npos);
    EXPECT_EQ(pChild->Output().find(CNetns::kToolAddress), std::string::npos);
}

TEST_F(CNetnsTest, ForkInTool_ReportsChildFailure) {
    EXPECT_EQ(0, m_pNetns->ForkInTool([] { EXPECT_TRUE(CNetns::IsConfined(nullptr)); }));
    EXPECT_NE(0, m_pNetns->ForkInTool([] { ADD_FAILURE() << "a planned failure inside the child"; }));
}
