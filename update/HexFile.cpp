#include "HexFile.h"

#include "HexPairToByte.h"

#include <algorithm>
#include <sys/stat.h>

namespace {

// Columns of a record: ":" NN AAAA TT data... CC
constexpr size_t kCountColumn = 1;
constexpr size_t kAddressColumn = 3;
constexpr size_t kTypeColumn = 7;
constexpr size_t kDataColumn = 9;

// Why the `count` characters from column `first` are no hexadecimal digits,
// read left to right; null when they are.
const char* FieldFault(const std::string& line, size_t first, size_t count) {
    for (size_t i = first; i < first + count; ++i) {
        if (i >= line.size())
            return "line too short";
        if (HexDigitValue(line[i]) < 0)
            return "non-hex character";
    }
    return nullptr;
}

BYTE ByteAt(const std::string& line, size_t column) {
    return HexPairToByte(line[column], line[column + 1]);
}

} // namespace

BOOL CHexFile::Open(const std::string& path, UINT nOpenFlags) {
    if ((nOpenFlags & ~typeText) != modeRead)
        return FALSE;
    Close();
    m_bEnded = false;
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

bool CHexFile::ReadString() {
    m_strLine.clear();
    if (!m_pFile || m_bEnded)
        return false;
    FILE* pFile = m_pFile.get();
    int c = fgetc(pFile);
    if (c == EOF || c == kEndOfFileMark) {
        m_bEnded = true;
        return false;
    }
    while (c != EOF && c != '\n' && c != '\r') {
        m_strLine.push_back(static_cast<char>(c));
        // What follows cannot make the line a record: stop before a line
        // without end (/dev/zero) takes memory or time.
        if (m_strLine.size() > static_cast<size_t>(kMaxLineLength)) {
            m_bEnded = true;
            return true;
        }
        c = fgetc(pFile);
    }
    if (c == '\r') {
        c = fgetc(pFile);
        if (c != '\n' && c != EOF)
            ungetc(c, pFile);
    }
    return true;
}

CHexFile::ELine CHexFile::ReadLine() {
    m_strFault.clear();
    if (!ReadString())
        return ELine::End;
    return Parse();
}

BOOL CHexFile::ReadRecord() {
    return ReadLine() == ELine::Record && m_nType == kDataRecord;
}

CHexFile::ELine CHexFile::Parse() {
    const std::string& line = m_strLine;
    if (line.size() > static_cast<size_t>(kMaxLineLength)) {
        m_strFault = "line too long";
        return ELine::Damaged;
    }
    if (line.find_first_not_of(" \t") == std::string::npos)
        return ELine::Blank;
    if (line[0] != ':') {
        m_strFault = "no record mark";
        return ELine::Damaged;
    }
    // Count, address and type first: the count says how long the rest is.
    const char* pszFault = FieldFault(line, kCountColumn, kDataColumn - kCountColumn);
    if (pszFault == nullptr) {
        const size_t nCount = ByteAt(line, kCountColumn);
        pszFault = FieldFault(line, kDataColumn, 2 * nCount + 2);
    }
    if (pszFault != nullptr) {
        m_strFault = pszFault;
        return ELine::Damaged;
    }
    const int nCount = ByteAt(line, kCountColumn);
    const BYTE byHigh = ByteAt(line, kAddressColumn);
    const BYTE byLow = ByteAt(line, kAddressColumn + 2);
    const int nType = ByteAt(line, kTypeColumn);
    unsigned nSum = static_cast<unsigned>(nCount) + byHigh + byLow + static_cast<unsigned>(nType);
    BYTE data[kMaxRecordBytes];
    for (int i = 0; i < nCount; ++i) {
        data[i] = ByteAt(line, kDataColumn + 2 * static_cast<size_t>(i));
        nSum += data[i];
    }
    // The checksum makes the low byte of the whole record's sum zero.
    const BYTE byExpected = static_cast<BYTE>(0x100 - (nSum & 0xFF));
    const BYTE byChecksum = ByteAt(line, kDataColumn + 2 * static_cast<size_t>(nCount));
    if (byChecksum != byExpected) {
        char sz[40];
        snprintf(sz, sizeof sz, "checksum %02X, expected %02X", byChecksum, byExpected);
        m_strFault = sz;
        return ELine::Damaged;
    }
    if (nType > kLastRecordType) {
        char sz[40];
        snprintf(sz, sizeof sz, "unknown record type %02X", nType);
        m_strFault = sz;
        return ELine::Damaged;
    }
    // Two records joined by a lost line end would otherwise lose the second.
    const size_t nEnd = kDataColumn + 2 * static_cast<size_t>(nCount) + 2;
    if (line.find_first_not_of(" \t\r", nEnd) != std::string::npos) {
        m_strFault = "text after the checksum";
        return ELine::Damaged;
    }
    m_nCount = nCount;
    m_nType = nType;
    m_strAddress = line.substr(kAddressColumn, 4);
    m_nAddress = 256 * byHigh + byLow;
    m_strData = line.substr(kDataColumn, 2 * static_cast<size_t>(nCount));
    std::copy(data, data + nCount, m_data);
    return ELine::Record;
}
