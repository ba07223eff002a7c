// The main dialog's own link operations: its fields around the worker (the
// connection-type check is the update suite's).
#include "RawPeer.h"

#include "LinkEvents.h"
#include "MainDlg.h"
#include "Profile.h"
#include "ScriptedSeams.h"
#include "TempProfile.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

namespace {

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
