// The default phone address, dialled for real: only inside the test's own
// namespaces, where the phone simulator owns 192.168.1.1.
#include "Netns.h"

#include "LinkEvents.h"
#include "Profile.h"
#include "Rj45Link.h"
#include "Rj45Thread.h"
#include "ScriptedSeams.h"
#include "TempProfile.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

constexpr int kSimReadyMs = 10000;
constexpr DWORD kAckWaitMs = 10000;

TEST_F(CNetnsTest, Link_NoPeerSection_ConnectsTo192_168_1_1On8739) {
    const char* pszSim = getenv("PHONE_SIM");
    ASSERT_NE(pszSim, nullptr) << "PHONE_SIM is not set";
    ASSERT_TRUE(m_pNetns->AddPhoneAddress("192.168.1.1"));
    auto pSim =
        m_pNetns->Spawn(CNetns::Phone, {pszSim, "--address", "192.168.1.1", "--port", "8739"});
    ASSERT_TRUE(pSim);
    ASSERT_TRUE(pSim->WaitForOutput("phone-sim: listening on 192.168.1.1:8739", kSimReadyMs))
        << pSim->Output();

    CTempProfile profile; // empty: no "Peer" section
    CScriptedSeams seams;
    CreateLinkEvents();
    // The worker and the socket threads are born on this thread, so in the
    // tool namespace.
    ASSERT_TRUE(m_pNetns->RunInTool([&] {
        std::string why;
        ASSERT_TRUE(CNetns::IsConfined(&why)) << why; // checked before anything dials
        CRj45Thread* pThread = nullptr;
        DWORD dwThreadId = 0;
        EXPECT_TRUE(StartRj45Link(pThread, dwThreadId, true));
        const std::string block(128, '\x3C');
        EXPECT_TRUE(PostThreadMessage(dwThreadId, WM_LINK_SEND, block.size(),
                                      reinterpret_cast<LPARAM>(block.data())));
        EXPECT_EQ(WaitForSingleObject(g_hLinkAckEvent, kAckWaitMs), WAIT_OBJECT_0);
        StopRj45Link(pThread, dwThreadId);
    }));
    CloseLinkEvents();
    EXPECT_TRUE(seams.Messages().empty());
    EXPECT_EQ(GetProfileInt("Peer", "IPAddress", 0), 0u)
        << "the default must not have been written";
}

} // namespace
