// A whole HEX file into the 64 KiB page image, through the report and through
// LoadHexImage. The image is a heap block of exactly the page's size, so a
// byte written or read outside it is an AddressSanitizer report; whether the
// file is sent, its length, records, ranges, the line and reason of a refusal
// and the image of a file that is sent must be what the reference says.
#include "Check.h"
#include "HexReference.h"
#include "HexReport.h"
#include "LoadHexImage.h"
#include "MemFile.h"

#include <cstring>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    static CMemFile s_file;
    static const std::unique_ptr<BYTE[]> s_pImage(new BYTE[kFlashPageSize]);
    s_file.Assign(pData, nSize);
    memset(s_pImage.get(), 0xFF, kFlashPageSize);

    const CHexReport report = ReadHexReport(s_file.Path(), s_pImage.get());
    const CHexFileRef expected =
        ReadHexFileRef(std::string(reinterpret_cast<const char*>(pData), nSize));
    FUZZ_CHECK(report.bAccepted == expected.bAccepted);
    FUZZ_CHECK(report.nLength == expected.nLength);
    FUZZ_CHECK(report.nRecords == expected.nRecords);
    FUZZ_CHECK(report.nLine == expected.nLine);
    FUZZ_CHECK(report.nEndLine == expected.nEndLine);
    FUZZ_CHECK(report.reason == expected.reason);
    FUZZ_CHECK(report.ranges.size() == expected.ranges.size());
    for (size_t i = 0; i < report.ranges.size(); ++i) {
        FUZZ_CHECK(report.ranges[i].nFirst == expected.ranges[i].first);
        FUZZ_CHECK(report.ranges[i].nEnd == expected.ranges[i].second);
    }
    if (report.bAccepted)
        FUZZ_CHECK(memcmp(s_pImage.get(), expected.image.data(), kFlashPageSize) == 0);

    memset(s_pImage.get(), 0xFF, kFlashPageSize);
    FUZZ_CHECK(LoadHexImage(s_file.Path(), s_pImage.get()) == expected.nLength);
    return 0;
}
