#include "TextReport.h"

#include "TextTable.h"

#include <sys/ioctl.h>

namespace {

constexpr int kBarWidth = 24;

std::string Fixed(double dValue, int nDecimals) {
    char sz[32];
    snprintf(sz, sizeof sz, "%.*f", nDecimals, dValue);
    return sz;
}

std::string LiveLine(const CPhoneRun& run) {
    const int nPercent = run.nTotal > 0 ? static_cast<int>(run.nBytes * 100 / run.nTotal) : 0;
    const int nFilled = nPercent * kBarWidth / 100;
    char sz[160];
    snprintf(sz, sizeof sz, "%-15s [%s%s] %3d%% %6.0f blk/s  ", run.address.c_str(),
             std::string(static_cast<size_t>(nFilled), '#').c_str(),
             std::string(static_cast<size_t>(kBarWidth - nFilled), '.').c_str(), nPercent,
             run.BlocksPerSecond());
    std::string line = sz + run.state;
    if (run.stage == CPhoneRun::Finished && run.text != run.state)
        line += ": " + run.text;
    return line;
}

} // namespace

CTextReport::CTextReport(FILE* pOut, bool bTerminal) : m_pOut(pOut), m_bTerminal(bTerminal) {}

void CTextReport::OnStart(const CPhoneRun&) {}

void CTextReport::OnProgress(const CPhoneRun&) {}

void CTextReport::OnRetry(const CPhoneRun& run) {
    if (m_bTerminal)
        return; // the live line shows the new attempt
    fprintf(m_pOut, "%s: %s: %s (attempt %d failed, running again)\n", run.address.c_str(),
            run.outcome.c_str(), run.text.c_str(), run.nAttempt);
    fflush(m_pOut);
}

void CTextReport::OnDone(const CPhoneRun& run) {
    if (m_bTerminal)
        return;
    fprintf(m_pOut, "%s: %s: %s\n", run.address.c_str(), run.outcome.c_str(), run.text.c_str());
    fflush(m_pOut);
}

void CTextReport::OnTick(const std::vector<CPhoneRun>& runs) {
    if (m_bTerminal)
        Redraw(runs);
}

void CTextReport::Redraw(const std::vector<CPhoneRun>& runs) {
    // Lines above the screen's top cannot be redrawn: a fleet taller than
    // the terminal shows the phones at work and a count of the others.
    winsize size{};
    const size_t nRows = ioctl(fileno(m_pOut), TIOCGWINSZ, &size) == 0 && size.ws_row > 2
                             ? size.ws_row - 1
                             : runs.size();
    std::vector<std::string> lines;
    if (runs.size() <= nRows) {
        for (const auto& run : runs)
            lines.push_back(LiveLine(run));
    } else {
        size_t nWaiting = 0;
        size_t nFinished = 0;
        for (const auto& run : runs) {
            if (run.stage == CPhoneRun::Running && lines.size() + 1 < nRows)
                lines.push_back(LiveLine(run));
            nWaiting += run.stage == CPhoneRun::Waiting;
            nFinished += run.stage == CPhoneRun::Finished;
        }
        lines.push_back(std::to_string(runs.size()) + " phones: " + std::to_string(nWaiting) +
                        " waiting, " + std::to_string(nFinished) + " finished");
    }
    std::string screen;
    if (m_nDrawn > 0)
        screen += "\x1b[" + std::to_string(m_nDrawn) + "A";
    for (const auto& line : lines)
        screen += "\r\x1b[2K" + line + "\n";
    // Lines left over from a taller drawing are cleared.
    for (size_t i = lines.size(); i < m_nDrawn; ++i)
        screen += "\r\x1b[2K\n";
    if (m_nDrawn > lines.size())
        screen += "\x1b[" + std::to_string(m_nDrawn - lines.size()) + "A";
    m_nDrawn = lines.size();
    fputs(screen.c_str(), m_pOut);
    fflush(m_pOut);
}

void CTextReport::OnSummary(const std::vector<CPhoneRun>& runs, double dSeconds) {
    if (m_bTerminal) {
        Redraw(runs);
        fputc('\n', m_pOut);
    }
    std::vector<TextRow> rows{{"Phone", "Outcome", "Bytes sent", "Seconds", "Message"}};
    int nSucceeded = 0;
    for (const auto& run : runs) {
        rows.push_back({run.address, run.outcome, std::to_string(run.nBytes),
                        Fixed(run.dSeconds, 1), run.text});
        nSucceeded += run.bSucceeded;
    }
    PrintTextTable(m_pOut, rows);
    fprintf(m_pOut, "%zu phones, %d succeeded, %zu did not, in %s s\n", runs.size(), nSucceeded,
            runs.size() - static_cast<size_t>(nSucceeded), Fixed(dSeconds, 1).c_str());
    fflush(m_pOut);
}
