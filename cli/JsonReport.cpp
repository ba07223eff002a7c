#include "JsonReport.h"

#include "JsonText.h"

#include <cmath>

namespace {
constexpr auto kProgressInterval = std::chrono::milliseconds(100);

// Milliseconds are plenty for a script, and the lines stay short.
double Rounded(double dValue, double dPerUnit) {
    return std::round(dValue * dPerUnit) / dPerUnit;
}

std::string Line(const nlohmann::json& event) {
    return CompactJson(event) + "\n";
}
} // namespace

CJsonReport::CJsonReport(COutputQueue& out) : m_out(out), m_start(CPhoneRun::Clock::now()) {}

nlohmann::json CJsonReport::Event(const char* pszKind, const CPhoneRun* pRun) const {
    nlohmann::json event = nlohmann::json::object();
    event["event"] = pszKind;
    event["time"] = JsonNumber(
        Rounded(std::chrono::duration<double>(CPhoneRun::Clock::now() - m_start).count(), 1000));
    if (pRun != nullptr)
        event["phone"] = JsonText(pRun->address);
    return event;
}

void CJsonReport::Write(const nlohmann::json& event) {
    m_out.Add(Line(event));
}

void CJsonReport::OnStart(const CPhoneRun& run) {
    nlohmann::json event = Event("start", &run);
    event["attempt"] = run.nAttempt;
    Write(event);
}

void CJsonReport::OnProgress(const CPhoneRun& run) {
    const auto now = CPhoneRun::Clock::now();
    auto it = m_progress.find(run.dwAddress);
    if (it != m_progress.end() && now - it->second.when < kProgressInterval) {
        it->second.bHeld = true;
        return;
    }
    WriteProgress(run, now);
}

void CJsonReport::OnTick(const std::vector<CPhoneRun>& runs) {
    const auto now = CPhoneRun::Clock::now();
    for (const auto& run : runs) {
        auto it = m_progress.find(run.dwAddress);
        if (run.stage == CPhoneRun::Running && it != m_progress.end() && it->second.bHeld &&
            now - it->second.when >= kProgressInterval)
            WriteProgress(run, now);
    }
}

void CJsonReport::WriteProgress(const CPhoneRun& run, CPhoneRun::Clock::time_point now) {
    m_progress[run.dwAddress] = CSent{now, false};
    nlohmann::json event = Event("progress", &run);
    event["state"] = JsonText(run.state);
    event["bytes"] = JsonNumber(static_cast<double>(run.nBytes));
    event["total"] = JsonNumber(static_cast<double>(run.nTotal));
    event["percent"] = run.nTotal > 0 ? static_cast<int>(run.nBytes * 100 / run.nTotal) : 0;
    event["blocksPerSecond"] = JsonNumber(Rounded(run.BlocksPerSecond(), 10));
    m_out.AddProgress(run.dwAddress, Line(event));
}

void CJsonReport::OnRetry(const CPhoneRun& run) {
    nlohmann::json event = Event("retry", &run);
    event["attempt"] = run.nAttempt;
    event["outcome"] = JsonText(run.outcome);
    event["text"] = JsonText(run.text);
    Write(event);
}

void CJsonReport::OnDone(const CPhoneRun& run) {
    nlohmann::json event = Event("done", &run);
    event["outcome"] = JsonText(run.outcome);
    event["ok"] = run.bSucceeded;
    // True once the phone has taken the finishing byte: it installs, even
    // when the run was interrupted, and must not be powered off.
    event["finished"] = run.bFinished;
    event["text"] = JsonText(run.text);
    event["bytes"] = JsonNumber(static_cast<double>(run.nBytes));
    event["seconds"] = JsonNumber(Rounded(run.dSeconds, 1000));
    event["attempts"] = run.nAttempt;
    event["versionBefore"] = JsonText(run.versionBefore);
    event["versionAfter"] = JsonText(run.versionAfter);
    Write(event);
}

void CJsonReport::OnSummary(const std::vector<CPhoneRun>& runs, double dSeconds) {
    int nSucceeded = 0;
    int nInterrupted = 0;
    for (const auto& run : runs) {
        nSucceeded += run.bSucceeded;
        nInterrupted += run.outcome == "interrupted";
    }
    nlohmann::json event = Event("summary", nullptr);
    event["phones"] = static_cast<int>(runs.size());
    event["succeeded"] = nSucceeded;
    event["failed"] = static_cast<int>(runs.size()) - nSucceeded - nInterrupted;
    event["interrupted"] = nInterrupted;
    event["seconds"] = JsonNumber(Rounded(dSeconds, 1000));
    Write(event);
}
