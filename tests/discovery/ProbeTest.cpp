// The probe and the replies on the wire, between a tool namespace and the
// phone simulator in the phone namespace, through CPhoneDiscovery on a plain
// thread (no Qt event loop), as a terminal program would use it.
#include "Probe.h"
#include "MessageQueue.h"
#include "Netns.h"
#include "PhoneDiscovery.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {
constexpr int kSimReadyMs = 10000;
constexpr int kRepliesMs = 5000;
constexpr DWORD kQuietMs = 500;
// A second address of the tool side, for a discovery told where to listen.
constexpr const char* kSecondToolAddress = "198.18.0.3";

// Delivers the thread's posted messages until the discovery lists n rows.
void PumpUntil(const CPhoneDiscovery& discovery, int n, int nMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nMs);
    MSG msg;
    while (discovery.Rows().GetItemCount() < n && std::chrono::steady_clock::now() < deadline)
        if (GetMessage(&msg, 20) && !DispatchMessage(msg))
            ReleaseMessage(msg);
}

std::unique_ptr<CChildProcess> StartSim(const CNetns& netns,
                                        const std::vector<std::string>& phones) {
    std::vector<std::string> argv = {getenv("PHONE_SIM"), "--no-tcp", "--discovery", "--mcast-if",
                                     CNetns::kPhoneAddress};
    argv.insert(argv.end(), phones.begin(), phones.end());
    std::unique_ptr<CChildProcess> pSim = netns.Spawn(CNetns::Phone, argv);
    if (pSim && !pSim->WaitForOutput("phone-sim: discovery on", kSimReadyMs))
        ADD_FAILURE() << pSim->Output();
    return pSim;
}
} // namespace

TEST_F(CNetnsTest, Probe_IsThirteenBytesFromTheLocalAddressAndThreePhonesAnswer) {
    const std::string phones = testing::TempDir() + "phones-" + std::to_string(getpid()) + ".txt";
    std::ofstream(phones) << "192.168.1.9   00:09:45:10:ab:01 \"Desk v1\"   3009 0 1 1\n"
                             "192.168.0.20  00:09:45:10:ab:cd \"VoIP v2.3\" 2001 2 1 0\n"
                             "192.168.1.10  00:09:45:10:ab:02 \"Desk v1\"   3010 4 2 0\n";
    ASSERT_TRUE(m_pNetns->AddToolAddress(std::string(kSecondToolAddress) + "/24"));
    // 0: the local host's own address, which in the tool namespace falls back
    // to the veth's first address; else the address given.
    const struct {
        DWORD dwLocal;
        const char* pszProbeSource;
    } cases[] = {{0, CNetns::kToolAddress},
                 {ntohl(inet_addr(kSecondToolAddress)), kSecondToolAddress}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszProbeSource);
        std::unique_ptr<CChildProcess> pSim = StartSim(*m_pNetns, {"--phones-file", phones});
        ASSERT_TRUE(pSim);
        std::unique_ptr<CNetns::CGuard> pGuard = m_pNetns->EnterTool();
        std::string why;
        ASSERT_TRUE(CNetns::IsConfined(&why)) << why;
        CPhoneDiscovery discovery(c.dwLocal);
        ASSERT_TRUE(discovery.Start());
        PumpUntil(discovery, 3, kRepliesMs);
        discovery.Stop();

        // Anything but the exact 13 bytes would be reported as ignored.
        EXPECT_TRUE(pSim->WaitForOutput(
            std::string("probe from ") + c.pszProbeSource + ":1025, sent 3 replies", kSimReadyMs))
            << pSim->Output();
        EXPECT_EQ(std::string::npos, pSim->Output().find("ignored"));
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
    unlink(phones.c_str());
}

// More phones than a /16 answering one probe while the thread is busy: the
// socket keeps what it reads (the socket's bound holds far more than the
// kernel's buffer), and the list stops at its cap.
TEST_F(CNetnsTest, MorePhonesThanTheCapAnsweringAtOnce_FillTheListToItsCap) {
    const int nPhones = 100000;
    const std::string sent = "sent " + std::to_string(nPhones) + " replies";
    std::unique_ptr<CChildProcess> pSim =
        StartSim(*m_pNetns, {"--phones", std::to_string(nPhones)});
    ASSERT_TRUE(pSim);
    std::unique_ptr<CNetns::CGuard> pGuard = m_pNetns->EnterTool();
    ASSERT_TRUE(CNetns::IsConfined(nullptr));
    CPhoneDiscovery discovery;
    ASSERT_TRUE(discovery.Start());
    // A slow machine (a sanitizer build) reads fewer than the kernel takes
    // in; a phone missed by one probe answers the next, and its row is
    // added then, the others updated in place.
    for (int nProbe = 0; nProbe < 5 && discovery.Rows().GetItemCount() < CPhoneRows::kMaxRows;
         ++nProbe) {
        const size_t nSeen = pSim->Output().size();
        if (nProbe > 0)
            discovery.SendProbe();
        // Not pumped while the replies come in, as a busy user-interface thread.
        ASSERT_TRUE(pSim->WaitForOutput(sent, kSimReadyMs, nSeen)) << pSim->Output();
        // Then delivered until the queue stays empty.
        MSG msg;
        while (GetMessage(&msg, kQuietMs))
            if (!DispatchMessage(msg))
                ReleaseMessage(msg);
    }
    EXPECT_EQ(CPhoneRows::kMaxRows, discovery.Rows().GetItemCount());
}
