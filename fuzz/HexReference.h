// An Intel HEX reading of the fuzzers' own, written from the line layout and
// the file rules rather than from the reader, so the two can be held against
// each other on every input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct CHexLineRef {
    enum Kind { Blank, Record, Damaged } kind = Blank;
    int nCount = 0;
    int nAddress = 0;
    int nType = 0;
    std::vector<uint8_t> data;
    std::string reason; // for a damaged line, in the reader's words
};

// What one line (without its line end) is: blank (spaces and tabs only), a
// record of type 00 to 05 whose fields are all there as hexadecimal digit
// pairs (either case) with the right checksum, or damaged.
CHexLineRef ParseHexLineRef(const std::string& line);

// Splits off the first line of text at *pOffset the way a text reader does:
// up to LF, without a CR right before it. False at the end.
bool NextLineRef(const std::string& text, size_t* pOffset, std::string* pLine);

struct CHexFileRef {
    bool bAccepted = false;
    int nLength = 0; // 0 unless accepted
    int nRecords = 0;
    std::vector<std::pair<int, int>> ranges; // [first, end), ascending, apart
    int nLine = 0;
    std::string reason;
    std::vector<uint8_t> image; // 64 KiB, 0xFF where no record is
};

// The whole file as the update must take it.
CHexFileRef ReadHexFileRef(const std::string& text);
