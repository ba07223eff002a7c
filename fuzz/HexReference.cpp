#include "HexReference.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace {

constexpr int kPage = 65536;

int DigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::string Hex2(int n) {
    char sz[3];
    snprintf(sz, sizeof sz, "%02X", n & 0xFF);
    return sz;
}

} // namespace

CHexLineRef ParseHexLineRef(const std::string& line) {
    CHexLineRef ref;
    if (line.size() > kMaxHexLineRef) {
        ref.kind = CHexLineRef::Damaged;
        ref.reason = "line too long";
        return ref;
    }
    if (std::all_of(line.begin(), line.end(), [](char c) { return c == ' ' || c == '\t'; }))
        return ref;
    ref.kind = CHexLineRef::Damaged;
    if (line[0] != ':') {
        ref.reason = "no record mark";
        return ref;
    }
    // The run of hexadecimal digits after the mark decides: it must hold the
    // header (count, address, type: 8 digits), then 2 per data byte and 2
    // for the checksum. What stops the run short is the fault.
    size_t nRun = 0;
    while (1 + nRun < line.size() && DigitValue(line[1 + nRun]) >= 0)
        ++nRun;
    const auto shortBy = [&](size_t nNeed) {
        ref.reason = 1 + nRun == line.size() ? "line too short" : "non-hex character";
        return nRun < nNeed;
    };
    if (nRun < 8 && shortBy(8))
        return ref;
    std::vector<int> bytes;
    for (size_t i = 0; i + 1 < nRun; i += 2)
        bytes.push_back(DigitValue(line[1 + i]) * 16 + DigitValue(line[2 + i]));
    const size_t nCount = static_cast<size_t>(bytes[0]);
    if (nRun < 10 + 2 * nCount && shortBy(10 + 2 * nCount))
        return ref;
    bytes.resize(5 + nCount); // count, address (2), type, data, checksum
    int nSum = 0;
    for (size_t i = 0; i + 1 < bytes.size(); ++i)
        nSum += bytes[i];
    const int nExpected = (256 - nSum % 256) % 256;
    if (bytes.back() != nExpected) {
        ref.reason = "checksum " + Hex2(bytes.back()) + ", expected " + Hex2(nExpected);
        return ref;
    }
    if (bytes[3] > 5) {
        ref.reason = "unknown record type " + Hex2(bytes[3]);
        return ref;
    }
    const size_t nTail = 11 + 2 * nCount;
    if (!std::all_of(line.begin() + static_cast<std::ptrdiff_t>(nTail), line.end(),
                     [](char c) { return c == ' ' || c == '\t' || c == '\r'; })) {
        ref.reason = "text after the checksum";
        return ref;
    }
    ref.kind = CHexLineRef::Record;
    ref.reason.clear();
    ref.nCount = static_cast<int>(nCount);
    ref.nAddress = bytes[1] * 256 + bytes[2];
    ref.nType = bytes[3];
    ref.data.assign(bytes.begin() + 4, bytes.end() - 1);
    return ref;
}

bool NextLineRef(const std::string& text, size_t* pOffset, std::string* pLine) {
    if (*pOffset >= text.size() || text[*pOffset] == '\x1A') {
        *pOffset = text.size();
        return false;
    }
    size_t nEnd = text.find_first_of("\r\n", *pOffset);
    if (nEnd == std::string::npos)
        nEnd = text.size();
    *pLine = text.substr(*pOffset, nEnd - *pOffset);
    *pOffset = nEnd + 1;
    if (nEnd + 1 < text.size() && text[nEnd] == '\r' && text[nEnd + 1] == '\n')
        ++*pOffset;
    return true;
}

// An extended address record of zero moves nothing: the page is still page 0.
static bool IsZeroAddressRecord(const CHexLineRef& ref) {
    return ref.kind == CHexLineRef::Record && (ref.nType == 2 || ref.nType == 4) &&
           ref.nCount == 2 && ref.data[0] == 0 && ref.data[1] == 0;
}

CHexFileRef ReadHexFileRef(const std::string& text) {
    // Every line up to the first end-of-file record counts; nothing after it.
    std::vector<CHexLineRef> lines;
    size_t nOffset = 0;
    std::string line;
    int nEndLine = 0;
    while (NextLineRef(text, &nOffset, &line)) {
        CHexLineRef ref = ParseHexLineRef(line);
        if (ref.kind == CHexLineRef::Record && ref.nType == 1) {
            nEndLine = static_cast<int>(lines.size()) + 1;
            break;
        }
        lines.push_back(std::move(ref));
    }
    // The data is the leading run of data records; each fault is the first
    // line that breaks a rule, and the earliest one refuses the file.
    size_t nRun = 0;
    while (nRun < lines.size() &&
           ((lines[nRun].kind == CHexLineRef::Record && lines[nRun].nType == 0) ||
            IsZeroAddressRecord(lines[nRun])))
        ++nRun;
    CHexFileRef file;
    file.image.assign(kPage, 0xFF);
    size_t nFault = lines.size();
    for (size_t i = 0; i < lines.size() && nFault == lines.size(); ++i) {
        const CHexLineRef& ref = lines[i];
        if (IsZeroAddressRecord(ref))
            continue;
        if (ref.kind == CHexLineRef::Damaged)
            file.reason = ref.reason;
        else if (ref.kind == CHexLineRef::Record && ref.nType == 0 && i >= nRun)
            file.reason = "data record after the end of the data";
        else if (i < nRun && ref.nAddress + ref.nCount > kPage)
            file.reason = "record runs past the 64 KiB page";
        else
            continue;
        nFault = i;
    }
    // Coverage as a sweep over where records begin (+1) and end (-1).
    std::map<int, int> edges;
    for (size_t i = 0; i < std::min(nRun, nFault); ++i) {
        const CHexLineRef& ref = lines[i];
        if (IsZeroAddressRecord(ref))
            continue;
        std::copy(ref.data.begin(), ref.data.end(), file.image.begin() + ref.nAddress);
        if (ref.nCount > 0) {
            ++edges[ref.nAddress];
            --edges[ref.nAddress + ref.nCount];
        }
        file.nLength = std::max(file.nLength, ref.nAddress + ref.nCount);
        ++file.nRecords;
    }
    int nDepth = 0;
    for (const auto& edge : edges) {
        if (nDepth == 0 && edge.second != 0)
            file.ranges.push_back({edge.first, edge.first});
        nDepth += edge.second;
        if (nDepth == 0 && !file.ranges.empty())
            file.ranges.back().second = edge.first;
    }
    if (nFault < lines.size()) {
        file.nLine = static_cast<int>(nFault) + 1;
    } else {
        // The reading got as far as the end record only without a fault.
        file.nEndLine = nEndLine;
        if (file.nLength == 0)
            file.reason = "no data";
    }
    file.bAccepted = file.reason.empty();
    if (!file.bAccepted)
        file.nLength = 0;
    return file;
}
