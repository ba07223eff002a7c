// Hexadecimal digit pairs as they stand in an Intel HEX line.
#pragma once

#include "WinTypes.h"

// The value of one hexadecimal digit ("0"-"9", "A"-"F", "a"-"f"), or -1.
int HexDigitValue(char c);
// 16 x value(high) + value(low); both must be hexadecimal digits (check with
// HexDigitValue first): anything else counts as 0.
BYTE HexPairToByte(char high, char low);
