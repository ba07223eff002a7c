#include "ReportFile.h"

#include "CsvField.h"
#include "JsonText.h"

#include <cmath>
#include <cstdio>

namespace {

// The column names, in the order of both formats.
const char* const kColumns[] = {"address",  "outcome",       "ok",
                                "text",     "bytes",         "seconds",
                                "attempts", "versionBefore", "versionAfter"};

std::string Seconds(double dSeconds) {
    char sz[32];
    snprintf(sz, sizeof sz, "%.3f", dSeconds);
    return sz;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

} // namespace

bool CReportFile::Open(std::string* pError) {
    std::string reason;
    if (m_file.Open(&reason))
        return true;
    *pError = "--report " + m_path + ": cannot be written (" + reason + ")";
    return false;
}

bool CReportFile::Commit(const std::vector<CPhoneRun>& runs, std::string* pError) {
    const std::string text = EndsWith(m_path, ".csv") ? Csv(runs) : Json(runs);
    std::string reason;
    if (m_file.Commit(text, &reason))
        return true;
    *pError = "--report " + m_path + ": cannot be written (" + reason + ")";
    return false;
}

std::string CReportFile::Csv(const std::vector<CPhoneRun>& runs) {
    std::string out;
    for (const char* pszColumn : kColumns)
        out += (pszColumn == kColumns[0] ? "" : ",") + std::string(pszColumn);
    out += "\n";
    for (const auto& run : runs) {
        const std::string fields[] = {run.address,
                                      run.outcome,
                                      run.bSucceeded ? "true" : "false",
                                      run.text,
                                      std::to_string(run.nBytes),
                                      Seconds(run.dSeconds),
                                      std::to_string(run.nAttempt),
                                      run.versionBefore,
                                      run.versionAfter};
        for (const auto& field : fields)
            out += (&field == fields ? "" : ",") + CsvField(field);
        out += "\n";
    }
    return out;
}

std::string CReportFile::Json(const std::vector<CPhoneRun>& runs) {
    // One phone a line, as orvex list --json prints its rows.
    std::string out = "[";
    for (size_t i = 0; i < runs.size(); ++i) {
        const CPhoneRun& run = runs[i];
        nlohmann::json row;
        row[kColumns[0]] = JsonText(run.address);
        row[kColumns[1]] = JsonText(run.outcome);
        row[kColumns[2]] = run.bSucceeded;
        row[kColumns[3]] = JsonText(run.text);
        row[kColumns[4]] = JsonNumber(static_cast<double>(run.nBytes));
        row[kColumns[5]] = JsonNumber(std::round(run.dSeconds * 1000) / 1000);
        row[kColumns[6]] = run.nAttempt;
        row[kColumns[7]] = JsonText(run.versionBefore);
        row[kColumns[8]] = JsonText(run.versionAfter);
        out += (i == 0 ? "\n  " : ",\n  ") + CompactJson(row);
    }
    out += runs.empty() ? "]\n" : "\n]\n";
    return out;
}
