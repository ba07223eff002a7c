#include "ConfirmWatch.h"

#include "Ipv4Text.h"
#include "MessageQueue.h"
#include "PhoneDiscovery.h"
#include "RowFilter.h"
#include "Trace.h"
#include "UdpSocket.h"
#include "WinSock.h"

#include <algorithm>
#include <cstdio>

namespace {

// Type-and-version texts in messages, as the list shows them.
std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

std::string Seconds(double dSeconds) {
    char sz[32];
    snprintf(sz, sizeof sz, "%g", dSeconds);
    return sz;
}

} // namespace

// Discovery's socket and probe; each decoded reply goes to the watch as it
// is delivered instead of into the rows.
class CConfirmWatch::CListener : public CPhoneDiscovery {
public:
    explicit CListener(std::vector<PhoneTexts>* pReplies) : m_pReplies(pReplies) {}
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message != WM_UDP_DATA)
            return CPhoneDiscovery::WindowProc(message, wParam, lParam);
        auto* pBuf = reinterpret_cast<WSABUF*>(lParam);
        PhoneTexts texts;
        if (DecodePhoneReply(reinterpret_cast<const BYTE*>(pBuf->buf), pBuf->len, &texts))
            m_pReplies->push_back(texts);
        FreeWsaBuf(pBuf);
        return 0;
    }

private:
    std::vector<PhoneTexts>* m_pReplies;
};

CConfirmWatch::CConfirmWatch(const CConfirmOptions& options) : m_options(options) {}

CConfirmWatch::~CConfirmWatch() {
    if (!m_pListener)
        return;
    m_pListener->Stop();
    m_pListener.reset();
    WinSock2Free();
}

void CConfirmWatch::Start(const std::vector<CPhoneRun>& runs) {
    for (size_t i = 0; i < runs.size(); ++i)
        m_phoneOf[runs[i].dwAddress] = i;
    // Socket diagnostics are not for the terminal.
    SetTraceSink([](const std::string&) {});
    WinSock2Init();
    m_pListener = std::make_unique<CListener>(&m_replies);
    m_pListener->Start();
    m_nextProbe = CPhoneRun::Clock::now();
}

void CConfirmWatch::Watch(size_t nPhone) {
    const auto now = CPhoneRun::Clock::now();
    if (!IsBusy())
        m_nextProbe = now + std::chrono::duration_cast<CPhoneRun::Clock::duration>(
                                std::chrono::duration<double>(m_options.dProbeSeconds));
    m_watched[nPhone] =
        CWatched{now + std::chrono::duration_cast<CPhoneRun::Clock::duration>(
                           std::chrono::duration<double>(m_options.dTimeoutSeconds)),
                 false};
}

std::vector<CConfirmWatch::CVerdict> CConfirmWatch::Poll(std::vector<CPhoneRun>& runs) {
    MSG msg;
    while (PeekMessage(&msg)) {
        if (!DispatchMessage(msg))
            ReleaseMessage(msg);
    }
    std::vector<CVerdict> verdicts;
    for (const PhoneTexts& texts : m_replies) {
        DWORD dwAddress = 0;
        if (!ParseIpv4(texts[0], &dwAddress))
            continue;
        const auto itPhone = m_phoneOf.find(dwAddress);
        if (itPhone == m_phoneOf.end())
            continue;
        const size_t nPhone = itPhone->second;
        CPhoneRun& run = runs[nPhone];
        m_lastReply[nPhone] = CReply{CPhoneRun::Clock::now(), texts};
        const auto itWatched = m_watched.find(nPhone);
        if (itWatched == m_watched.end()) {
            // Heard before its update began: the version it had.
            if (run.stage != CPhoneRun::Finished && run.versionBefore.empty())
                run.versionBefore = texts[2];
            continue;
        }
        // A reply to a probe from before the finishing byte proves nothing.
        if (!itWatched->second.bProbed)
            continue;
        m_watched.erase(itWatched);
        run.versionAfter = texts[2];
        if (!m_options.expectVersion.empty() && !MatchGlob(m_options.expectVersion, texts[2]))
            verdicts.push_back(
                {nPhone, "wrong-version",
                 "back as " + Quoted(texts[2]) + ", expected " + Quoted(m_options.expectVersion)});
        else
            verdicts.push_back({nPhone, "confirmed", "back as " + Quoted(texts[2])});
    }
    m_replies.clear();

    const auto now = CPhoneRun::Clock::now();
    for (auto it = m_watched.begin(); it != m_watched.end();) {
        if (now < it->second.deadline) {
            ++it;
            continue;
        }
        verdicts.push_back({it->first, "not-back",
                            "no discovery reply within " + Seconds(m_options.dTimeoutSeconds) +
                                " s of the update"});
        it = m_watched.erase(it);
    }
    const bool bGateWaits = std::any_of(m_gates.begin(), m_gates.end(), [](const auto& gate) {
        return gate.second.probed == CPhoneRun::Clock::time_point();
    });
    if ((!m_watched.empty() || bGateWaits) && now >= m_nextProbe) {
        m_pListener->SendProbe();
        for (auto& watched : m_watched)
            watched.second.bProbed = true;
        for (auto& gate : m_gates)
            if (gate.second.probed == CPhoneRun::Clock::time_point())
                gate.second.probed = now;
        m_nextProbe =
            CPhoneRun::Clock::now() + std::chrono::duration_cast<CPhoneRun::Clock::duration>(
                                          std::chrono::duration<double>(m_options.dProbeSeconds));
    }
    return verdicts;
}

std::vector<size_t> CConfirmWatch::Abandon() {
    std::vector<size_t> phones;
    for (const auto& watched : m_watched)
        phones.push_back(watched.first);
    m_watched.clear();
    m_gates.clear();
    return phones;
}

CPhoneRun::Clock::duration CConfirmWatch::Duration(double dSeconds) const {
    return std::chrono::duration_cast<CPhoneRun::Clock::duration>(
        std::chrono::duration<double>(dSeconds));
}

CConfirmWatch::EGate CConfirmWatch::Gate(size_t nPhone) {
    const auto now = CPhoneRun::Clock::now();
    const auto itGate = m_gates.find(nPhone);
    if (itGate == m_gates.end()) {
        m_gates[nPhone] = CGate{now, CPhoneRun::Clock::time_point()};
        return Hold;
    }
    CGate& gate = itGate->second;
    if (gate.probed == CPhoneRun::Clock::time_point())
        return m_lastReply.count(nPhone) > 0 && m_lastReply.at(nPhone).texts[6] == "Yes" &&
                       m_lastReply.at(nPhone).when >= gate.first
                   ? HoldBusy
                   : Hold;
    const auto itReply = m_lastReply.find(nPhone);
    if (itReply == m_lastReply.end() || itReply->second.when < gate.probed) {
        if (now - gate.probed < std::min(Duration(m_options.dProbeSeconds), Duration(1)))
            return Hold;
        m_gates.erase(itGate);
        return Pass; // no answer: updated as without --skip-busy
    }
    if (itReply->second.texts[6] != "Yes") {
        m_gates.erase(itGate);
        return Pass;
    }
    if (now - gate.first >= Duration(m_options.dBusySeconds)) {
        m_gates.erase(itGate);
        return SkipBusy;
    }
    // Busy: asked again with the next probe.
    gate.probed = CPhoneRun::Clock::time_point();
    return HoldBusy;
}

bool CConfirmWatch::Heard(size_t nPhone, PhoneTexts* pTexts) const {
    const auto it = m_lastReply.find(nPhone);
    if (it == m_lastReply.end())
        return false;
    *pTexts = it->second.texts;
    return true;
}
