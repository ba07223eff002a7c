#include "HexFile.h"

#include "HexPairToByte.h"

#include <sys/stat.h>

namespace {

// Columns of a record: ":" NN AAAA TT data... CC
constexpr size_t kCountColumn = 1;
constexpr size_t kAddressColumn = 3;
constexpr size_t kTypeColumn = 7;
constexpr size_t kDataColumn = 9;

// True when the line holds hexadecimal digits from column `first` for
// `count` characters.
bool AreHexDigits(const std::string& line, size_t first, size_t count) {
    if (line.size() < first + count)
        return false;
    for (size_t i = first; i < first + count; ++i)
        if (HexDigitValue(line[i]) < 0)
            return false;
    return true;
}

BYTE ByteAt(const std::string& line, size_t column) {
    return HexPairToByte(line[column], line[column + 1]);
}

} // namespace

BOOL CHexFile::Open(const std::string& path, UINT nOpenFlags) {
    if ((nOpenFlags & ~typeText) != modeRead)
        return FALSE;
    Close();
    m_pFile.reset(fopen(path.c_str(), "rb"));
    // A folder opens on this system but is no file to read.
    struct stat st;
    if (m_pFile && (fstat(fileno(m_pFile.get()), &st) != 0 || S_ISDIR(st.st_mode)))
        m_pFile.reset();
    return m_pFile != nullptr;
}

void CHexFile::Close() {
    m_pFile.reset();
}

bool CHexFile::ReadString(std::string* pLine) {
    pLine->clear();
    if (!m_pFile)
        return false;
    int c = fgetc(m_pFile.get());
    if (c == EOF)
        return false;
    while (c != EOF && c != '\n') {
        pLine->push_back(static_cast<char>(c));
        c = fgetc(m_pFile.get());
    }
    if (!pLine->empty() && pLine->back() == '\r')
        pLine->pop_back();
    return true;
}

BOOL CHexFile::ReadRecord() {
    if (!ReadString(&m_strLine))
        return FALSE;
    const std::string& line = m_strLine;
    // Only data records (type "00"); every other line ends the reading.
    if (line.empty() || line[0] != ':' || line.size() <= kTypeColumn + 1 ||
        line[kTypeColumn] != '0' || line[kTypeColumn + 1] != '0')
        return FALSE;
    if (!AreHexDigits(line, kCountColumn, kDataColumn - kCountColumn))
        return FALSE;
    const int nCount = ByteAt(line, kCountColumn);
    // The fields the count announces, data and checksum, must all be there.
    if (!AreHexDigits(line, kDataColumn, 2 * static_cast<size_t>(nCount) + 2))
        return FALSE;

    m_nCount = nCount;
    m_strAddress = line.substr(kAddressColumn, 4);
    const BYTE byHigh = ByteAt(line, kAddressColumn);
    const BYTE byLow = ByteAt(line, kAddressColumn + 2);
    m_nAddress = 256 * byHigh + byLow;
    unsigned nSum = static_cast<unsigned>(nCount) + byHigh + byLow;

    m_strData = line.substr(kDataColumn, 2 * static_cast<size_t>(nCount));
    for (int i = 0; i < nCount; ++i) {
        m_data[i] = ByteAt(line, kDataColumn + 2 * static_cast<size_t>(i));
        nSum += m_data[i];
    }
    // The checksum makes the low byte of the whole record's sum zero.
    const BYTE byExpected = static_cast<BYTE>(0x100 - (nSum & 0xFF));
    return ByteAt(line, kDataColumn + 2 * static_cast<size_t>(nCount)) == byExpected;
}
