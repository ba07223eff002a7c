// One line through CHexFile::ReadRecord. Whatever the line, the reader reads
// nothing outside it; it accepts exactly the well-formed data records, and
// the fields it fills are the ones the line spells.
#include "Check.h"
#include "HexFile.h"
#include "HexReference.h"
#include "MemFile.h"

#include <algorithm>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    static CMemFile s_file;
    s_file.Assign(pData, nSize);

    CHexFile file;
    FUZZ_CHECK(file.Open(s_file.Path(), CHexFile::modeRead | CHexFile::typeText));
    const bool bAccepted = file.ReadRecord() != FALSE;

    const std::string text(reinterpret_cast<const char*>(pData), nSize);
    size_t nOffset = 0;
    std::string line;
    CHexRecordRef expected;
    const bool bExpected = NextLineRef(text, &nOffset, &line) && ParseHexLineRef(line, &expected);
    FUZZ_CHECK(bAccepted == bExpected);
    if (bAccepted) {
        FUZZ_CHECK(file.m_strLine == line);
        FUZZ_CHECK(file.m_nCount == expected.nCount);
        FUZZ_CHECK(file.m_nAddress == expected.nAddress);
        FUZZ_CHECK(file.m_strAddress == line.substr(3, 4));
        FUZZ_CHECK(file.m_strData == line.substr(9, 2 * static_cast<size_t>(expected.nCount)));
        FUZZ_CHECK(std::equal(expected.data.begin(), expected.data.end(), file.m_data));
    }
    file.Close();
    return 0;
}
