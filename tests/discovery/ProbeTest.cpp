// The probe and the replies on the wire, between a tool namespace and the
// phone simulator in the phone namespace.
#include "MessageQueue.h"
#include "MsgWnd.h"
#include "Netns.h"
#include "PhoneReply.h"
#include "Probe.h"
#include "UdpSocket.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {
constexpr int kSimReadyMs = 10000;
constexpr DWORD kRepliesMs = 5000;
constexpr DWORD kListenAddress = 0xC0A80101; // 192.168.1.1: unicast mode, never sent to

class CReplyWnd : public CMsgWnd {
public:
    CReplyWnd() { Create(); }
    ~CReplyWnd() override { DestroyWindow(); }
    LRESULT WindowProc(UINT message, WPARAM, LPARAM lParam) override {
        if (message == WM_UDP_DATA) {
            auto* pBuf = reinterpret_cast<WSABUF*>(lParam);
            PhoneTexts texts;
            if (DecodePhoneReply(reinterpret_cast<const BYTE*>(pBuf->buf), pBuf->len, &texts))
                m_rows.push_back(texts);
            FreeWsaBuf(pBuf);
        }
        return 0;
    }
    void PumpUntil(size_t n, DWORD dwMs) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(dwMs);
        MSG msg;
        while (m_rows.size() < n && std::chrono::steady_clock::now() < deadline)
            if (GetMessage(&msg, 20) && !DispatchMessage(msg))
                ReleaseMessage(msg);
    }
    std::vector<PhoneTexts> m_rows;
};
} // namespace

TEST_F(CNetnsTest, Probe_IsThirteenBytesAndThreePhonesAnswer) {
    const std::string phones = testing::TempDir() + "phones-" + std::to_string(getpid()) + ".txt";
    std::ofstream(phones) << "192.168.1.9   00:09:45:10:ab:01 \"Desk v1\"   3009 0 1 1\n"
                             "192.168.0.20  00:09:45:10:ab:cd \"VoIP v2.3\" 2001 2 1 0\n"
                             "192.168.1.10  00:09:45:10:ab:02 \"Desk v1\"   3010 4 2 0\n";
    std::unique_ptr<CChildProcess> pSim =
        m_pNetns->Spawn(CNetns::Phone, {getenv("PHONE_SIM"), "--no-tcp", "--discovery", "--mcast-if",
                                        CNetns::kPhoneAddress, "--phones-file", phones});
    ASSERT_TRUE(pSim);
    ASSERT_TRUE(pSim->WaitForOutput("phone-sim: discovery on", kSimReadyMs)) << pSim->Output();

    std::unique_ptr<CNetns::CGuard> pGuard = m_pNetns->EnterTool();
    std::string why;
    ASSERT_TRUE(CNetns::IsConfined(&why)) << why;
    CReplyWnd wnd;
    CUdpSocket listener;
    listener.Enter(wnd.GetSafeHwnd(), WM_UDP_DATA, kListenAddress, kReplyPort, kDiscoveryRecvSize);
    SendDiscoveryProbe(wnd.GetSafeHwnd());
    wnd.PumpUntil(3, kRepliesMs);
    listener.Leave();
    unlink(phones.c_str());

    // Anything but the exact 13 bytes would be reported as ignored.
    EXPECT_TRUE(pSim->WaitForOutput(std::string("probe from ") + CNetns::kToolAddress + ":1025, sent 3 replies",
                                    kSimReadyMs))
        << pSim->Output();
    EXPECT_EQ(std::string::npos, pSim->Output().find("ignored"));
    ASSERT_EQ(3u, wnd.m_rows.size());
    std::sort(wnd.m_rows.begin(), wnd.m_rows.end());
    EXPECT_EQ((PhoneTexts{"192.168.0.20", "00-09-45-10-ab-cd", "VoIP v2.3", "pppoe", "2001", "Yes", "No"}),
              wnd.m_rows[0]);
    EXPECT_EQ((PhoneTexts{"192.168.1.10", "00-09-45-10-ab-02", "Desk v1", "", "3010", "No", "No"}), wnd.m_rows[1]);
    EXPECT_EQ((PhoneTexts{"192.168.1.9", "00-09-45-10-ab-01", "Desk v1", "static", "3009", "Yes", "Yes"}),
              wnd.m_rows[2]);
}

TEST_F(CNetnsTest, ManyPhonesAnsweringAtOnce_AreAllReceived) {
    // The default receive buffer holds about 256 replies; the socket asks
    // for room for far more.
    const int nPhones = 2000;
    std::unique_ptr<CChildProcess> pSim =
        m_pNetns->Spawn(CNetns::Phone, {getenv("PHONE_SIM"), "--no-tcp", "--discovery", "--mcast-if",
                                        CNetns::kPhoneAddress, "--phones", std::to_string(nPhones)});
    ASSERT_TRUE(pSim);
    ASSERT_TRUE(pSim->WaitForOutput("phone-sim: discovery on", kSimReadyMs)) << pSim->Output();

    std::unique_ptr<CNetns::CGuard> pGuard = m_pNetns->EnterTool();
    ASSERT_TRUE(CNetns::IsConfined(nullptr));
    CReplyWnd wnd;
    CUdpSocket listener;
    listener.Enter(wnd.GetSafeHwnd(), WM_UDP_DATA, kListenAddress, kReplyPort, kDiscoveryRecvSize);
    // Not pumped while the replies come in, as a busy user-interface thread.
    SendDiscoveryProbe(wnd.GetSafeHwnd());
    ASSERT_TRUE(pSim->WaitForOutput("sent " + std::to_string(nPhones) + " replies", kSimReadyMs));
    wnd.PumpUntil(static_cast<size_t>(nPhones), kRepliesMs);
    listener.Leave();
    EXPECT_EQ(static_cast<size_t>(nPhones), wnd.m_rows.size());
}
