// An Intel HEX data-record parse of the fuzzers' own, written from the line
// layout rather than from the reader, so the two can be held against each
// other on every input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct CHexRecordRef {
    int nCount = 0;
    int nAddress = 0;
    std::vector<uint8_t> data;
};

// True when line (without its line end) is a data record whose fields are all
// there as hexadecimal digit pairs (either case) and whose checksum is right.
bool ParseHexLineRef(const std::string& line, CHexRecordRef* pRecord);

// Splits off the first line of text at *pOffset the way a text reader does:
// up to LF, without a CR right before it. False at the end.
bool NextLineRef(const std::string& text, size_t* pOffset, std::string* pLine);
