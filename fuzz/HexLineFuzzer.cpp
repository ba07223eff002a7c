// One line through CHexFile::ReadLine. Whatever the line, the reader reads
// nothing outside it; it ends the line where the reference does (LF, CR LF,
// a lone CR; Ctrl-Z first ends the file), tells blank lines, well-formed
// records and damaged lines apart as the reference does, gives the same
// reason for a damaged one, and fills a record's fields as the line spells
// them.
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
    const CHexFile::ELine kind = file.ReadLine();

    const std::string text(reinterpret_cast<const char*>(pData), nSize);
    size_t nOffset = 0;
    std::string line;
    if (!NextLineRef(text, &nOffset, &line)) {
        FUZZ_CHECK(kind == CHexFile::ELine::End);
        return 0;
    }
    const CHexLineRef expected = ParseHexLineRef(line);
    // Of a line too long to be a record, the reader holds one character more.
    FUZZ_CHECK(file.m_strLine == line.substr(0, kMaxHexLineRef + 1));
    switch (expected.kind) {
    case CHexLineRef::Blank:
        FUZZ_CHECK(kind == CHexFile::ELine::Blank);
        break;
    case CHexLineRef::Damaged:
        FUZZ_CHECK(kind == CHexFile::ELine::Damaged);
        FUZZ_CHECK(file.m_strFault == expected.reason);
        break;
    case CHexLineRef::Record:
        FUZZ_CHECK(kind == CHexFile::ELine::Record);
        FUZZ_CHECK(file.m_nType == expected.nType);
        FUZZ_CHECK(file.m_nCount == expected.nCount);
        FUZZ_CHECK(file.m_nAddress == expected.nAddress);
        FUZZ_CHECK(file.m_strAddress == line.substr(3, 4));
        FUZZ_CHECK(file.m_strData == line.substr(9, 2 * static_cast<size_t>(expected.nCount)));
        FUZZ_CHECK(std::equal(expected.data.begin(), expected.data.end(), file.m_data));
        break;
    }
    file.Close();
    return 0;
}
