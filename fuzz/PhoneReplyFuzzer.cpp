// A received datagram into the seven texts of a row. No byte beyond the
// datagram or beyond a field may be read (the input is a heap block of its
// exact size), and the texts must be the ones the reply table gives.
#include "Check.h"
#include "PhoneReply.h"
#include "Trace.h"

#include <cstdio>
#include <string>

namespace {
constexpr size_t kReplySize = 63;

std::string Field(const uint8_t* pField, size_t nSize) {
    size_t n = 0;
    while (n < nSize && pField[n] != 0)
        ++n;
    return std::string(reinterpret_cast<const char*>(pField), n);
}
} // namespace

// Short replies are traced; a line per input would only slow the run.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetTraceSink([](const std::string&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    PhoneTexts texts;
    const bool bDecoded = DecodePhoneReply(pData, nSize, &texts);
    // A short reply is ignored; every reply of the record's size or more is a row.
    FUZZ_CHECK(bDecoded == (nSize >= kReplySize));
    if (!bDecoded)
        return 0;

    char sz[32];
    snprintf(sz, sizeof sz, "%u.%u.%u.%u", pData[0], pData[1], pData[2], pData[3]);
    FUZZ_CHECK(texts[0] == sz);
    snprintf(sz, sizeof sz, "%02x-%02x-%02x-%02x-%02x-%02x", pData[4], pData[5], pData[6], pData[7],
             pData[8], pData[9]);
    FUZZ_CHECK(texts[1] == sz);
    FUZZ_CHECK(texts[2] == Field(pData + 10, 30));
    static const char* const kIpTypes[] = {"static", "dhcp", "pppoe", "modem"};
    FUZZ_CHECK(texts[3] == (pData[60] < 4 ? kIpTypes[pData[60]] : ""));
    FUZZ_CHECK(texts[4] == Field(pData + 40, 20));
    FUZZ_CHECK(texts[5] == (pData[61] == 1 ? "Yes" : "No"));
    FUZZ_CHECK(texts[6] == (pData[62] == 1 ? "Yes" : "No"));
    return 0;
}
