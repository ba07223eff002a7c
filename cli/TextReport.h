// The update shown as text, ending with a summary table. On a terminal a
// live area at the bottom is redrawn in place: a line for each phone at
// work (address, bar, percentage, blocks a second, state), as many as the
// terminal's rows allow less two, then a line of totals. A phone that
// ends, or fails and runs again, prints its line once above that area.
// Every line is cut to the terminal's width, read again at each redraw, so
// nothing wraps. Elsewhere each outcome is one plain line without control
// characters.
#pragma once

#include "FleetReport.h"
#include "OutputQueue.h"

#include <string>
#include <vector>

class CTextReport : public IFleetReport {
public:
    // fdTerminal: the terminal the output goes to, whose size the display
    // follows; -1 for plain lines.
    CTextReport(COutputQueue& out, int fdTerminal);
    void OnStart(const CPhoneRun& run) override;
    void OnProgress(const CPhoneRun& run) override;
    void OnRetry(const CPhoneRun& run) override;
    void OnDone(const CPhoneRun& run) override;
    void OnTick(const std::vector<CPhoneRun>& runs) override;
    void OnSummary(const std::vector<CPhoneRun>& runs, double dSeconds) override;

private:
    struct CSize {
        size_t nColumns;
        size_t nRows;
    };
    CSize TerminalSize() const;
    // Text that puts lines where the live area is now and clears what is
    // left of it; the lines must fit nColumns.
    std::string DrawOverLiveArea(const std::vector<std::string>& lines, size_t nColumns);
    void Redraw(const std::vector<CPhoneRun>& runs);

    COutputQueue& m_out;
    const int m_fdTerminal;
    std::vector<std::string> m_above;  // lines not yet printed above the live area
    std::vector<size_t> m_drawnWidths; // of the live area's lines on the screen
};
