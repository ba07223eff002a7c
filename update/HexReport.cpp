#include "HexReport.h"

#include "HexFile.h"
#include "LoadHexImage.h"

#include <algorithm>
#include <cstring>

namespace {

void Refuse(CHexReport* pReport, int nLine, const std::string& reason) {
    pReport->nLine = nLine;
    pReport->reason = reason;
}

// Sorts the records' ranges and joins those that overlap or touch.
std::vector<CHexRange> Merge(std::vector<CHexRange> ranges) {
    std::sort(ranges.begin(), ranges.end(),
              [](const CHexRange& a, const CHexRange& b) { return a.nFirst < b.nFirst; });
    std::vector<CHexRange> merged;
    for (const CHexRange& r : ranges) {
        if (!merged.empty() && r.nFirst <= merged.back().nEnd)
            merged.back().nEnd = std::max(merged.back().nEnd, r.nEnd);
        else
            merged.push_back(r);
    }
    return merged;
}

// An extended segment (02) or linear (04) address record whose value is 0.
bool IsZeroAddressRecord(const CHexFile& file) {
    return (file.m_nType == 0x02 || file.m_nType == 0x04) && file.m_nCount == 2 &&
           file.m_data[0] == 0 && file.m_data[1] == 0;
}

} // namespace

CHexReport ReadHexReport(const std::string& path, BYTE* pImage) {
    CHexFile file;
    if (!file.Open(path, CHexFile::modeRead | CHexFile::typeText)) {
        CHexReport report;
        Refuse(&report, 0, "cannot open the file");
        return report;
    }
    return ReadHexReport(file, pImage);
}

CHexReport ReadHexReport(CHexFile& file, BYTE* pImage) {
    CHexReport report;
    std::vector<CHexRange> ranges;
    int nLength = 0;
    // Set by a blank line or an address record: data may no longer follow.
    bool bDataEnded = false;
    int nLine = 0;
    for (;;) {
        const CHexFile::ELine kind = file.ReadLine();
        if (kind == CHexFile::ELine::End)
            break;
        ++nLine;
        if (kind == CHexFile::ELine::Damaged) {
            Refuse(&report, nLine, file.m_strFault);
            break;
        }
        // srec_cat starts every file with an extended address of zero: it
        // keeps the data on page 0 and so changes nothing.
        if (kind == CHexFile::ELine::Record && IsZeroAddressRecord(file))
            continue;
        if (kind == CHexFile::ELine::Blank || file.m_nType != CHexFile::kDataRecord) {
            // Whatever stands after the end-of-file record is not read.
            if (kind == CHexFile::ELine::Record && file.m_nType == CHexFile::kEndOfFileRecord) {
                report.nEndLine = nLine;
                break;
            }
            bDataEnded = true;
            continue;
        }
        if (bDataEnded) {
            Refuse(&report, nLine, "data record after the end of the data");
            break;
        }
        const int nEnd = file.m_nAddress + file.m_nCount;
        if (nEnd > kFlashPageSize) {
            Refuse(&report, nLine, "record runs past the 64 KiB page");
            break;
        }
        if (pImage != nullptr)
            memcpy(pImage + file.m_nAddress, file.m_data, static_cast<size_t>(file.m_nCount));
        ++report.nRecords;
        if (file.m_nCount > 0)
            ranges.push_back({file.m_nAddress, nEnd});
        // The largest end, so a record overlapping the tail loses nothing.
        nLength = std::max(nLength, nEnd);
    }
    report.ranges = Merge(std::move(ranges));
    if (report.reason.empty() && nLength == 0)
        Refuse(&report, 0, "no data");
    report.bAccepted = report.reason.empty();
    report.nLength = report.bAccepted ? nLength : 0;
    return report;
}
