// --json: one JSON object a line on standard output for each event (start,
// progress at most ten a second per phone, retry, done, summary), each
// handed to the output at once so a script can follow a fleet as it goes.
// While the reader stalls, a phone's newest progress replaces its older.
#pragma once

#include "FleetReport.h"
#include "OutputQueue.h"

#include <nlohmann/json.hpp>

#include <map>

class CJsonReport : public IFleetReport {
public:
    explicit CJsonReport(COutputQueue& out);
    void OnStart(const CPhoneRun& run) override;
    void OnProgress(const CPhoneRun& run) override;
    void OnRetry(const CPhoneRun& run) override;
    void OnDone(const CPhoneRun& run) override;
    // Sends what was held back by the ten-a-second limit.
    void OnTick(const std::vector<CPhoneRun>& runs) override;
    void OnSummary(const std::vector<CPhoneRun>& runs, double dSeconds) override;

private:
    nlohmann::json Event(const char* pszKind, const CPhoneRun* pRun) const;
    void Write(const nlohmann::json& event);
    void WriteProgress(const CPhoneRun& run, CPhoneRun::Clock::time_point now);

    COutputQueue& m_out;
    CPhoneRun::Clock::time_point m_start;
    struct CSent {
        CPhoneRun::Clock::time_point when;
        bool bHeld = false; // a change not yet sent
    };
    std::map<DWORD, CSent> m_progress;
};
