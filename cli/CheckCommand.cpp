#include "CheckCommand.h"

#include "HexReport.h"
#include "InputFile.h"
#include "LoadHexImage.h"
#include "TextTable.h"

#include <cstdio>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr long long kBlockSize = 128;
constexpr long long kUploadUnit = 256;

long long Rounded(long long nLength) {
    return (nLength + kUploadUnit - 1) / kUploadUnit * kUploadUnit;
}

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

int CheckHex(const std::string& path) {
    std::vector<BYTE> image(kFlashPageSize, 0xFF);
    const CHexReport report = ReadHexReport(path, image.data());
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
    AddSentRows(&rows, report.nLength, true);
    rows.push_back({"verdict", "the update would send it"});
    PrintTextTable(stdout, rows);
    return 0;
}

int CheckImage(const std::string& path) {
    struct stat st;
    stat(path.c_str(), &st);
    std::vector<TextRow> rows{{"file", path + " (program image, sent byte for byte)"}};
    AddSentRows(&rows, static_cast<long long>(st.st_size), false);
    rows.push_back({"verdict", "the update would send it"});
    PrintTextTable(stdout, rows);
    return 0;
}

} // namespace

std::string DescribeSent(long long nLength, bool bFlashPage) {
    const long long nSent = Rounded(nLength);
    return std::to_string(nSent) + " bytes in " + std::to_string(nSent / kBlockSize) +
           " blocks of 128 (" + std::to_string(nSent - nLength) +
           " bytes of 0xFF padding), then the finishing byte " + (bFlashPage ? "0x00" : "0x81");
}

long long SentImageLength(const std::string& path, bool bFlashPage) {
    if (bFlashPage) {
        std::vector<BYTE> image(kFlashPageSize, 0xFF);
        const CHexReport report = ReadHexReport(path, image.data());
        return report.bAccepted ? report.nLength : -1;
    }
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

int RunCheckCommand(const std::string& path) {
    std::string error;
    if (!CheckInputFile(path, true, &error)) {
        fprintf(stderr, "orvex: %s\n", error.c_str());
        return 2;
    }
    return IsHexFileName(path) ? CheckHex(path) : CheckImage(path);
}
