// The phone link of link/, built for Windows unchanged, under Wine: its
// worker's hidden window, WinSock connect and acknowledgement, against the
// Linux phone simulator (scripts/test-windows.sh names it in
// ORVEX_SIM_ADDRESS). The profile lives below a test key of its own.
#include "LinkEvents.h"
#include "MessageQueue.h"
#include "Profile.h"
#include "Rj45Link.h"
#include "Rj45Thread.h"
#include "ScriptedSeams.h"
#include "SocketApi.h"
#include "WinSock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace {

constexpr DWORD kAckWaitMs = 10000;

class LinkWineTest : public testing::Test {
protected:
    void SetUp() override {
        const char* pszSim = std::getenv("ORVEX_SIM_ADDRESS");
        if (pszSim == nullptr)
            GTEST_SKIP() << "no phone simulator (scripts/test-windows.sh starts one)";
        m_simAddress = pszSim;
        ASSERT_TRUE(WinSock2Init());
        SetProfileFolder("Software\\OrvexLinkTests");
        CreateLinkEvents();
    }
    void TearDown() override {
        if (IsSkipped())
            return;
        StopRj45Link(m_pThread, m_dwThreadId);
        CloseLinkEvents();
        SetProfileFolder("");
        WinSock2Free();
    }
    void SetPeer(const std::string& dotted) {
        WriteProfileInt("Peer", "IPAddress", static_cast<int>(ntohl(InetAddr(dotted))));
    }

    std::string m_simAddress;
    CScriptedSeams m_seams;
    CRj45Thread* m_pThread = nullptr;
    DWORD m_dwThreadId = 0;
};

} // namespace

// A connected link sends what it is given and signals the phone's lone 0xFF;
// a phone nobody answers for fails the start with the user's message.
TEST_F(LinkWineTest, StartLink_SendsAndIsAcknowledged_OrTellsTheUserItCannotConnect) {
    SetPeer(m_simAddress);
    ASSERT_TRUE(StartRj45Link(m_pThread, m_dwThreadId, true));
    EXPECT_EQ(GetProfileInt("Peer", "Port", 0), 8739u);
    const std::string block(128, '\x5A');
    ASSERT_TRUE(PostThreadMessage(m_dwThreadId, WM_LINK_SEND, block.size(),
                                  reinterpret_cast<LPARAM>(block.data())));
    EXPECT_EQ(WaitForSingleObject(g_hLinkAckEvent, kAckWaitMs), WAIT_OBJECT_0);
    StopRj45Link(m_pThread, m_dwThreadId);
    EXPECT_EQ(m_pThread, nullptr);
    const char* pszSaved = std::getenv("ORVEX_SIM_SAVE");
    ASSERT_NE(pszSaved, nullptr);
    std::ifstream saved(pszSaved, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(saved), {}), block);
    EXPECT_TRUE(m_seams.Messages().empty());

    SetPeer("127.0.17.21"); // nobody listens there
    EXPECT_FALSE(StartRj45Link(m_pThread, m_dwThreadId, true));
    ASSERT_EQ(m_seams.Messages().size(), 1u);
    EXPECT_EQ(m_seams.Messages()[0].text, "Can not connect to Quill1");
    EXPECT_EQ(m_seams.Messages()[0].nType, MB_OK);
    EXPECT_EQ(m_pThread, nullptr);
}
