#include "Ipv4Text.h"

#include <cstdio>

bool ParseIpv4(const std::string& text, DWORD* pdwHostForm) {
    DWORD dwAddress = 0;
    size_t nPos = 0;
    for (int nOctet = 0; nOctet < 4; ++nOctet) {
        if (nOctet > 0) {
            if (nPos >= text.size() || text[nPos] != '.')
                return false;
            ++nPos;
        }
        unsigned nValue = 0;
        size_t nDigits = 0;
        // "010" would be octal to some readers: refused rather than guessed.
        if (nPos + 1 < text.size() && text[nPos] == '0' && text[nPos + 1] >= '0' &&
            text[nPos + 1] <= '9')
            return false;
        while (nPos < text.size() && text[nPos] >= '0' && text[nPos] <= '9' && nDigits < 4) {
            nValue = nValue * 10 + static_cast<unsigned>(text[nPos] - '0');
            ++nPos;
            ++nDigits;
        }
        if (nDigits == 0 || nDigits > 3 || nValue > 255)
            return false;
        dwAddress = (dwAddress << 8) | nValue;
    }
    if (nPos != text.size())
        return false;
    *pdwHostForm = dwAddress;
    return true;
}

std::string FormatIpv4(DWORD dwHostForm) {
    char sz[16];
    snprintf(sz, sizeof sz, "%u.%u.%u.%u", (dwHostForm >> 24) & 0xFF, (dwHostForm >> 16) & 0xFF,
             (dwHostForm >> 8) & 0xFF, dwHostForm & 0xFF);
    return sz;
}
