#include "HexPairToByte.h"

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    // Lower case too: every common HEX writer may produce it.
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

BYTE HexPairToByte(char high, char low) {
    const int nHigh = HexDigitValue(high);
    const int nLow = HexDigitValue(low);
    return static_cast<BYTE>(16 * (nHigh < 0 ? 0 : nHigh) + (nLow < 0 ? 0 : nLow));
}
