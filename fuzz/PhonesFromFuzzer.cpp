// The phones of --phones-from: outside input, read whole. The line format
// is checked against inet_pton line by line, after a leading byte order
// mark; the JSON format must give one address per entry or name the line or
// entry it refuses. The repeats are removed as a plain quadratic search would.
// Read as a report with --only-failed, the phones kept are some of those read
// without it, in their order.
#include "Check.h"
#include "PhoneListReader.h"

#include <algorithm>
#include <arpa/inet.h>
#include <string>
#include <vector>

namespace {

const char kBlanks[] = " \t\r\n\f\v";
const char kBom[] = "\xEF\xBB\xBF";

// Expected addresses of the line format, or the 1-based line that is bad.
bool ReadLines(const std::string& text, std::vector<DWORD>* pPhones, int* pnBadLine) {
    int nLine = 0;
    size_t nStart = 0;
    while (nStart < text.size()) {
        size_t nEnd = text.find('\n', nStart);
        if (nEnd == std::string::npos)
            nEnd = text.size();
        ++nLine;
        std::string line = text.substr(nStart, nEnd - nStart);
        nStart = nEnd + 1;
        const size_t nFirst = line.find_first_not_of(kBlanks);
        if (nFirst == std::string::npos)
            continue;
        line = line.substr(nFirst, line.find_last_not_of(kBlanks) - nFirst + 1);
        if (line[0] == '#')
            continue;
        in_addr addr{};
        if (line.find('\0') != std::string::npos || inet_pton(AF_INET, line.c_str(), &addr) != 1) {
            *pnBadLine = nLine;
            return false;
        }
        pPhones->push_back(ntohl(addr.s_addr));
    }
    return true;
}

// Each address once, where it first occurs, and those that occur again.
void CheckRepeatsRemoved(const std::vector<DWORD>& given) {
    std::vector<DWORD> repeated;
    const std::vector<DWORD> phones = RemoveRepeatedPhones(given, &repeated);
    std::vector<DWORD> expected;
    std::vector<DWORD> expectedRepeated;
    for (size_t i = 0; i < given.size(); ++i) {
        if (std::find(given.begin(), given.begin() + static_cast<std::ptrdiff_t>(i), given[i]) !=
            given.begin() + static_cast<std::ptrdiff_t>(i))
            continue;
        expected.push_back(given[i]);
        if (std::count(given.begin(), given.end(), given[i]) > 1)
            expectedRepeated.push_back(given[i]);
    }
    FUZZ_CHECK(phones == expected);
    FUZZ_CHECK(repeated == expectedRepeated);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    const std::string given(reinterpret_cast<const char*>(pData), nSize);
    std::vector<DWORD> phones;
    std::string error;
    const bool bRead = ReadPhoneList(given, &phones, &error);
    FUZZ_CHECK(bRead == error.empty());
    FUZZ_CHECK(bRead || phones.empty());
    FUZZ_CHECK(error.find('\n') == std::string::npos);
    CheckRepeatsRemoved(phones);

    std::vector<DWORD> failed;
    std::string failedError;
    const bool bFailedRead = ReadPhoneList(given, &failed, &failedError, true);
    FUZZ_CHECK(bFailedRead == failedError.empty());
    FUZZ_CHECK(bFailedRead || failed.empty());
    FUZZ_CHECK(failedError.find('\n') == std::string::npos);
    FUZZ_CHECK(!bFailedRead || bRead);
    auto itNext = phones.begin();
    for (DWORD dwFailed : failed) {
        itNext = std::find(itNext, phones.end(), dwFailed);
        FUZZ_CHECK(itNext != phones.end());
        ++itNext;
    }

    const std::string text = given.rfind(kBom, 0) == 0 ? given.substr(3) : given;

    const size_t nFirst = text.find_first_not_of(kBlanks);
    if (nFirst != std::string::npos && text[nFirst] == '[') {
        FUZZ_CHECK(bRead || error.rfind("line ", 0) == 0 || error.rfind("entry ", 0) == 0);
        return 0;
    }
    std::vector<DWORD> expected;
    int nBadLine = 0;
    const bool bExpected = ReadLines(text, &expected, &nBadLine);
    FUZZ_CHECK(bRead == bExpected);
    if (bRead)
        FUZZ_CHECK(phones == expected);
    else
        FUZZ_CHECK(error.rfind("line " + std::to_string(nBadLine) + ": ", 0) == 0);
    return 0;
}
