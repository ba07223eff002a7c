#include "HexReference.h"

namespace {
int DigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The byte of the two digits at column nAt, or -1.
int PairAt(const std::string& line, size_t nAt) {
    if (nAt + 1 >= line.size())
        return -1;
    const int nHigh = DigitValue(line[nAt]);
    const int nLow = DigitValue(line[nAt + 1]);
    return nHigh < 0 || nLow < 0 ? -1 : nHigh * 16 + nLow;
}
} // namespace

bool ParseHexLineRef(const std::string& line, CHexRecordRef* pRecord) {
    // ":" NN AAAA "00" DD... CC
    if (line.size() < 11 || line[0] != ':' || line[7] != '0' || line[8] != '0')
        return false;
    const int nCount = PairAt(line, 1);
    const int nHigh = PairAt(line, 3);
    const int nLow = PairAt(line, 5);
    if (nCount < 0 || nHigh < 0 || nLow < 0)
        return false;
    unsigned nSum = static_cast<unsigned>(nCount + nHigh + nLow);
    pRecord->nCount = nCount;
    pRecord->nAddress = nHigh * 256 + nLow;
    pRecord->data.clear();
    for (int i = 0; i < nCount; ++i) {
        const int nByte = PairAt(line, 9 + 2 * static_cast<size_t>(i));
        if (nByte < 0)
            return false;
        pRecord->data.push_back(static_cast<uint8_t>(nByte));
        nSum += static_cast<unsigned>(nByte);
    }
    const int nCheck = PairAt(line, 9 + 2 * static_cast<size_t>(nCount));
    return nCheck >= 0 && ((nSum + static_cast<unsigned>(nCheck)) & 0xFF) == 0;
}

bool NextLineRef(const std::string& text, size_t* pOffset, std::string* pLine) {
    if (*pOffset >= text.size())
        return false;
    size_t nEnd = text.find('\n', *pOffset);
    if (nEnd == std::string::npos)
        nEnd = text.size();
    *pLine = text.substr(*pOffset, nEnd - *pOffset);
    if (!pLine->empty() && pLine->back() == '\r')
        pLine->pop_back();
    *pOffset = nEnd + 1;
    return true;
}
