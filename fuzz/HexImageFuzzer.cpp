// A whole HEX file into the 64 KiB page image. The image is a heap block of
// exactly the page's size, so a byte written or read outside it is an
// AddressSanitizer report; the image and its length must be what the
// records say (stored in file order up to the first bad line or the first
// record running off the page; the length is the largest end stored).
#include "Check.h"
#include "HexReference.h"
#include "LoadHexImage.h"
#include "MemFile.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    static CMemFile s_file;
    static const std::unique_ptr<BYTE[]> s_pImage(new BYTE[kFlashPageSize]);
    static const std::unique_ptr<BYTE[]> s_pExpected(new BYTE[kFlashPageSize]);
    s_file.Assign(pData, nSize);
    memset(s_pImage.get(), 0xFF, kFlashPageSize);
    memset(s_pExpected.get(), 0xFF, kFlashPageSize);

    const int nLength = LoadHexImage(s_file.Path(), s_pImage.get());

    const std::string text(reinterpret_cast<const char*>(pData), nSize);
    size_t nOffset = 0;
    std::string line;
    CHexRecordRef record;
    int nExpected = 0;
    while (NextLineRef(text, &nOffset, &line) && ParseHexLineRef(line, &record) &&
           record.nAddress + record.nCount <= kFlashPageSize) {
        std::copy(record.data.begin(), record.data.end(), s_pExpected.get() + record.nAddress);
        nExpected = std::max(nExpected, record.nAddress + record.nCount);
    }
    FUZZ_CHECK(nLength == nExpected);
    FUZZ_CHECK(memcmp(s_pImage.get(), s_pExpected.get(), kFlashPageSize) == 0);
    return 0;
}
