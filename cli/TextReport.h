// The update shown as text. On a terminal each phone has a line redrawn in
// place (address, bar, percentage, blocks a second, state); elsewhere each
// outcome is one plain line without control characters. Both end with a
// summary table.
#pragma once

#include "FleetReport.h"

#include <cstdio>

class CTextReport : public IFleetReport {
public:
    CTextReport(FILE* pOut, bool bTerminal);
    void OnStart(const CPhoneRun& run) override;
    void OnProgress(const CPhoneRun& run) override;
    void OnRetry(const CPhoneRun& run) override;
    void OnDone(const CPhoneRun& run) override;
    void OnTick(const std::vector<CPhoneRun>& runs) override;
    void OnSummary(const std::vector<CPhoneRun>& runs, double dSeconds) override;

private:
    void Redraw(const std::vector<CPhoneRun>& runs);

    FILE* m_pOut;
    bool m_bTerminal;
    size_t m_nDrawn = 0; // live lines on the screen
};
