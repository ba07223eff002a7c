// Intel HEX text for tests and benchmarks: one record line with a correct
// checksum, upper case, without a line end.
#pragma once

#include "WinTypes.h"

#include <string>
#include <vector>

std::string HexRecordLine(int nAddress, const std::vector<BYTE>& data, int nType = 0);
