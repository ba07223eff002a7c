// The main dialog's own link operations: its fields around the worker, and
// the connection-type check.
#include "RawPeer.h"

#include "LinkEvents.h"
#include "MainDlg.h"
#include "Profile.h"
#include "ScriptedSeams.h"
#include "TempProfile.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

namespace {

TEST(MainDlgLinkTest, CheckTcpConnection_OnlyType1Passes) {
    CTempProfile profile;
    CScriptedSeams seams;
    CMainDlg dlg;
    const struct {
        int nCommType;
        BOOL bResult;
    } cases[] = {{1, TRUE}, {0, FALSE}, {-1, FALSE}};
    size_t nShown = 0;
    for (const auto& c : cases) {
        dlg.m_nCommType = c.nCommType;
        EXPECT_EQ(dlg.CheckTcpConnection(), c.bResult) << c.nCommType;
        nShown += c.bResult ? 0 : 1;
        ASSERT_EQ(seams.Messages().size(), nShown) << c.nCommType;
        if (!c.bResult) {
            EXPECT_EQ(seams.Messages().back().text,
                      "Only Tcpip connection can be used for this function");
            EXPECT_EQ(seams.Messages().back().nType, MB_OK);
        }
    }
}

TEST(MainDlgLinkTest, StartLinkThenStopLink_KeepsThreadIdAndClearsBoth) {
    CTempProfile profile;
    CScriptedSeams seams;
    CreateLinkEvents();
    CRawPeer peer("127.0.4.9", 8739);
    ASSERT_TRUE(peer.IsListening());
    WriteProfileInt("Peer", "IPAddress", static_cast<int>(ntohl(NetAddress("127.0.4.9"))));
    {
        CMainDlg dlg;
        EXPECT_TRUE(dlg.StartLink(true));
        EXPECT_NE(dlg.m_pRj45Thread, nullptr);
        EXPECT_NE(dlg.m_dwRj45ThreadId, 0u);
        EXPECT_TRUE(peer.Accept());
        dlg.StopLink();
        EXPECT_EQ(dlg.m_pRj45Thread, nullptr);
        EXPECT_EQ(dlg.m_dwRj45ThreadId, 0u);
    }
    CloseLinkEvents();
    EXPECT_TRUE(seams.Messages().empty());
}

} // namespace
