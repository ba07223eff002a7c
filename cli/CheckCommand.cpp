#include "CheckCommand.h"

#include "HexReport.h"
#include "InputImage.h"
#include "LoadHexImage.h"
#include "TextTable.h"
#include "UploadSize.h"

#include <cstdio>
#include <vector>

namespace {

constexpr long long kBlockSize = 128;

std::string Hex4(int n) {
    char sz[8];
    snprintf(sz, sizeof sz, "%04X", static_cast<unsigned>(n));
    return sz;
}

// The rows every accepted file ends with: what goes over the wire.
void AddSentRows(std::vector<TextRow>* pRows, long long nLength, bool bFlashPage) {
    pRows->push_back({"image length", std::to_string(nLength) + " bytes"});
    pRows->push_back({"sent", DescribeSent(nLength, bFlashPage)});
}

// path names the file for the user; input holds the bytes it gave.
int CheckHex(const std::string& path, const CInputImage& input) {
    std::vector<BYTE> image(kFlashPageSize, 0xFF);
    const CHexReport report = ReadHexReport(input.Path(), image.data());
    std::vector<TextRow> rows{{"file", path + " (Intel HEX flash page)"},
                              {"data records", std::to_string(report.nRecords)}};
    std::string ranges;
    for (const auto& range : report.ranges)
        ranges += (ranges.empty() ? "" : ", ") + Hex4(range.nFirst) + "-" + Hex4(range.nEnd - 1);
    rows.push_back({"covered", ranges.empty() ? "nothing" : ranges});
    if (!report.bAccepted) {
        rows.push_back({"refused", report.nLine > 0 ? "line " + std::to_string(report.nLine) +
                                                          ": " + report.reason
                                   : report.reason.empty() ? "nothing to send"
                                                           : report.reason});
        rows.push_back({"verdict", "the update would refuse it; nothing would be sent"});
        PrintTextTable(stdout, rows);
        return 1;
    }
    // A file cut at a line end reads like a whole one but for this record.
    rows.push_back({"end record", report.nEndLine > 0
                                      ? "line " + std::to_string(report.nEndLine)
                                      : "missing: the file may have been cut short; the update "
                                        "sends it as it is"});
    AddSentRows(&rows, report.nLength, true);
    rows.push_back({"verdict", "the update would send it"});
    PrintTextTable(stdout, rows);
    return 0;
}

int CheckImage(const std::string& path, const CInputImage& input) {
    std::vector<TextRow> rows{{"file", path + " (program image, sent byte for byte)"}};
    AddSentRows(&rows, input.Length(), false);
    rows.push_back({"verdict", "the update would send it"});
    PrintTextTable(stdout, rows);
    return 0;
}

} // namespace

std::string DescribeSent(long long nLength, bool bFlashPage) {
    const long long nSent = RoundedUploadLength(nLength);
    return std::to_string(nSent) + " bytes in " + std::to_string(nSent / kBlockSize) +
           " blocks of 128 (" + std::to_string(nSent - nLength) +
           " bytes of 0xFF padding), then the finishing byte " + (bFlashPage ? "0x00" : "0x81");
}

long long SentImageLength(const CInputImage& input, bool bFlashPage) {
    if (!bFlashPage)
        return input.Length();
    std::vector<BYTE> image(kFlashPageSize, 0xFF);
    const CHexReport report = ReadHexReport(input.Path(), image.data());
    return report.bAccepted ? report.nLength : -1;
}

int RunCheckCommand(const std::string& path, bool bHexPage) {
    // Read as the update reads it: the same bytes, the same refusals.
    CInputImage input;
    std::string error;
    if (!input.Read(path, bHexPage, &error)) {
        fprintf(stderr, "orvex: %s\n", error.c_str());
        return 2;
    }
    return bHexPage ? CheckHex(path, input) : CheckImage(path, input);
}
