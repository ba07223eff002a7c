#include "TextReport.h"

#include "Console.h"
#include "TextTable.h"
#include "TextWidth.h"

#include <algorithm>

namespace {

constexpr int kBarWidth = 24;
constexpr int kMinBarWidth = 5;
// For a terminal that does not tell its size.
constexpr size_t kDefaultColumns = 80;
constexpr size_t kDefaultRows = 24;

std::string Fixed(double dValue, int nDecimals) {
    char sz[32];
    snprintf(sz, sizeof sz, "%.*f", nDecimals, dValue);
    return sz;
}

std::string LiveLine(const CPhoneRun& run, int nBarWidth) {
    const int nPercent = run.nTotal > 0 ? static_cast<int>(run.nBytes * 100 / run.nTotal) : 0;
    const int nFilled = nPercent * nBarWidth / 100;
    char sz[160];
    snprintf(sz, sizeof sz, "%-15s [%s%s] %3d%% %6.0f blk/s  ", run.address.c_str(),
             std::string(static_cast<size_t>(nFilled), '#').c_str(),
             std::string(static_cast<size_t>(nBarWidth - nFilled), '.').c_str(), nPercent,
             run.BlocksPerSecond());
    std::string line = sz + run.state;
    if (run.nAttempt > 1)
        line += " (attempt " + std::to_string(run.nAttempt) + ")";
    return line;
}

// The bar gives way first, then the line is cut.
std::string FittedLiveLine(const CPhoneRun& run, size_t nColumns) {
    const std::string full = LiveLine(run, kBarWidth);
    const size_t nWidth = DisplayWidth(full);
    int nBar = kBarWidth;
    if (nWidth > nColumns)
        nBar = std::max(kMinBarWidth, kBarWidth - static_cast<int>(nWidth - nColumns));
    return FitToWidth(nBar == kBarWidth ? full : LiveLine(run, nBar), nColumns);
}

std::string OutcomeLine(const CPhoneRun& run) {
    return run.address + ": " + run.outcome + ": " + run.text;
}

std::string RetryLine(const CPhoneRun& run) {
    return OutcomeLine(run) + " (attempt " + std::to_string(run.nAttempt) +
           " failed, running again)";
}

std::string TotalsLine(const std::vector<CPhoneRun>& runs) {
    size_t nDone = 0, nFailed = 0, nRunning = 0, nWaiting = 0;
    long long nBytes = 0;
    for (const auto& run : runs) {
        nBytes += run.nBytes;
        if (run.stage == CPhoneRun::Running)
            ++nRunning;
        else if (run.stage == CPhoneRun::Waiting)
            ++nWaiting;
        else if (run.bSucceeded)
            ++nDone;
        else
            ++nFailed;
    }
    return std::to_string(runs.size()) + " phones: " + std::to_string(nDone) + " done, " +
           std::to_string(nFailed) + " failed, " + std::to_string(nRunning) + " running, " +
           std::to_string(nWaiting) + " waiting; " + std::to_string(nBytes) + " bytes sent";
}

} // namespace

CTextReport::CTextReport(COutputQueue& out, int fdTerminal)
    : m_out(out), m_fdTerminal(fdTerminal) {}

void CTextReport::OnStart(const CPhoneRun&) {}

void CTextReport::OnProgress(const CPhoneRun&) {}

void CTextReport::OnRetry(const CPhoneRun& run) {
    if (m_fdTerminal >= 0)
        m_above.push_back(RetryLine(run));
    else
        m_out.Add(RetryLine(run) + "\n");
}

void CTextReport::OnDone(const CPhoneRun& run) {
    if (m_fdTerminal >= 0)
        m_above.push_back(OutcomeLine(run));
    else
        m_out.Add(OutcomeLine(run) + "\n");
}

void CTextReport::OnTick(const std::vector<CPhoneRun>& runs) {
    // While the terminal does not take the last drawing, the next waits:
    // the live area is drawn afresh from the phones, and the lines for
    // above are kept until then.
    if (m_fdTerminal >= 0 && m_out.Idle())
        Redraw(runs);
}

CTextReport::CSize CTextReport::TerminalSize() const {
    CSize size{kDefaultColumns, kDefaultRows};
    if (!::TerminalSize(m_fdTerminal, &size.nColumns, &size.nRows))
        return {kDefaultColumns, kDefaultRows};
    return size;
}

std::string CTextReport::DrawOverLiveArea(const std::vector<std::string>& lines, size_t nColumns) {
    // A terminal narrowed since the last drawing may have wrapped its lines
    // onto more rows.
    size_t nOld = 0;
    for (size_t nWidth : m_drawnWidths)
        nOld += std::max<size_t>(1, (nWidth + nColumns - 1) / nColumns);
    std::string text = "\r";
    if (nOld > 0)
        text += "\x1b[" + std::to_string(nOld) + "A";
    // Line by line: clearing the screen from its top left would push it
    // into some terminals' history.
    for (const auto& line : lines)
        text += "\x1b[2K" + line + "\n";
    for (size_t i = lines.size(); i < nOld; ++i)
        text += "\x1b[2K\n";
    if (nOld > lines.size())
        text += "\x1b[" + std::to_string(nOld - lines.size()) + "A";
    m_drawnWidths.clear();
    return text;
}

void CTextReport::Redraw(const std::vector<CPhoneRun>& runs) {
    const CSize size = TerminalSize();
    std::vector<std::string> lines;
    for (const auto& line : m_above)
        lines.push_back(FitToWidth(line, size.nColumns));
    m_above.clear();
    const size_t nAbove = lines.size();
    // The area and the cursor's row below it fit on the screen, so the
    // next drawing can always move back to its top.
    const size_t nPhoneRows = size.nRows > 2 ? size.nRows - 2 : 0;
    size_t nPhones = 0;
    for (const auto& run : runs) {
        if (run.stage == CPhoneRun::Running && nPhones < nPhoneRows) {
            lines.push_back(FittedLiveLine(run, size.nColumns));
            ++nPhones;
        }
    }
    if (size.nRows > 1)
        lines.push_back(FitToWidth(TotalsLine(runs), size.nColumns));
    m_out.Add(DrawOverLiveArea(lines, size.nColumns));
    for (size_t i = nAbove; i < lines.size(); ++i)
        m_drawnWidths.push_back(DisplayWidth(lines[i]));
}

void CTextReport::OnSummary(const std::vector<CPhoneRun>& runs, double dSeconds) {
    std::vector<TextRow> rows{{"Phone", "Outcome", "Bytes sent", "Seconds", "Message"}};
    int nSucceeded = 0;
    for (const auto& run : runs) {
        rows.push_back({run.address, run.outcome, std::to_string(run.nBytes),
                        Fixed(run.dSeconds, 1), run.text});
        nSucceeded += run.bSucceeded;
    }
    const std::string total = std::to_string(runs.size()) + " phones, " +
                              std::to_string(nSucceeded) + " succeeded, " +
                              std::to_string(runs.size() - static_cast<size_t>(nSucceeded)) +
                              " did not, in " + Fixed(dSeconds, 1) + " s";
    std::vector<std::string> lines;
    size_t nColumns = 0; // no limit
    if (m_fdTerminal >= 0) {
        nColumns = TerminalSize().nColumns;
        for (const auto& line : m_above)
            lines.push_back(FitToWidth(line, nColumns));
        m_above.clear();
        lines.emplace_back();
    }
    for (const auto& line : FormatTextTable(rows, nColumns))
        lines.push_back(line);
    lines.push_back(nColumns > 0 ? FitToWidth(total, nColumns) : total);
    if (m_fdTerminal >= 0) {
        m_out.Add(DrawOverLiveArea(lines, nColumns));
        return;
    }
    std::string text;
    for (const auto& line : lines)
        text += line + "\n";
    m_out.Add(text);
}
