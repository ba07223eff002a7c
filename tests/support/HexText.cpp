#include "HexText.h"

#include <cstdio>

std::string HexRecordLine(int nAddress, const std::vector<BYTE>& data, int nType) {
    std::string s = ":";
    unsigned nSum = 0;
    auto put = [&](unsigned b) {
        char sz[3];
        snprintf(sz, sizeof sz, "%02X", b & 0xFF);
        s += sz;
        nSum += b & 0xFF;
    };
    put(static_cast<unsigned>(data.size()));
    put(static_cast<unsigned>(nAddress) >> 8);
    put(static_cast<unsigned>(nAddress));
    put(static_cast<unsigned>(nType));
    for (BYTE b : data)
        put(b);
    put(0x100 - (nSum & 0xFF));
    return s;
}
