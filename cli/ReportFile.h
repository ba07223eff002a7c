// --report FILE: one row per phone (address, outcome, ok, text, bytes,
// seconds, attempts, version before and after), as CSV when the name ends in
// ".csv" and as a JSON array otherwise, which --phones-from reads back. The
// file appears whole or not at all (CAtomicFile), so a reader, or yesterday's report being retried
// with --only-failed, never sees half a report.
#pragma once

#include "AtomicFile.h"
#include "PhoneRun.h"

#include <string>
#include <vector>

class CReportFile {
public:
    explicit CReportFile(std::string path) : m_path(path), m_file(std::move(path)) {}

    // Makes the temporary file before any phone is touched, so a report that
    // cannot be written stops the run before it starts. False with a
    // one-line reason.
    bool Open(std::string* pError);
    // Writes every row and renames the file into place.
    bool Commit(const std::vector<CPhoneRun>& runs, std::string* pError);

    // The rows as the file holds them.
    static std::string Csv(const std::vector<CPhoneRun>& runs);
    static std::string Json(const std::vector<CPhoneRun>& runs);

private:
    std::string m_path;
    CAtomicFile m_file; // removes its temporary file when it was never put in place
};
