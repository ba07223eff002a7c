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

// The longest line that can be a record: 255 data bytes.
constexpr size_t kMaxHexLineRef = 521;

// What one line (without its line end) is: blank (spaces and tabs only), a
// record of type 00 to 05 whose fields are all there as hexadecimal digit
// pairs (either case) with the right checksum and nothing but spaces, tabs
// and CR after it, or damaged. A line longer than kMaxHexLineRef is damaged.
CHexLineRef ParseHexLineRef(const std::string& line);

// Splits off the first line of text at *pOffset: up to LF, CR LF or a lone
// CR. False at the end of the text and at a Ctrl-Z (0x1A) that begins a
// line, which ends the text.
bool NextLineRef(const std::string& text, size_t* pOffset, std::string* pLine);

struct CHexFileRef {
    bool bAccepted = false;
    int nLength = 0; // 0 unless accepted
    int nRecords = 0;
    std::vector<std::pair<int, int>> ranges; // [first, end), ascending, apart
    int nLine = 0;
    int nEndLine = 0; // the end-of-file record's line, when the reading got there
    std::string reason;
    std::vector<uint8_t> image; // 64 KiB, 0xFF where no record is
};

// The whole file as the update must take it.
CHexFileRef ReadHexFileRef(const std::string& text);
