#include "TextWidth.h"

#include <cstdint>

namespace {

const char kEllipsis[] = "\xE2\x80\xA6"; // U+2026, one column

// One character from text at *pnPos, moved past it; false (and one byte
// taken) for a byte that does not start a valid UTF-8 sequence.
bool NextCodePoint(const std::string& text, size_t* pnPos, uint32_t* pnCode) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(*pnPos);
    size_t nLength = 1;
    uint32_t nCode = lead;
    uint32_t nMin = 0;
    if (lead >= 0xF0 && lead <= 0xF4) {
        nLength = 4;
        nCode = lead & 0x07;
        nMin = 0x10000;
    } else if (lead >= 0xE0) {
        nLength = 3;
        nCode = lead & 0x0F;
        nMin = 0x800;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        nLength = 2;
        nCode = lead & 0x1F;
        nMin = 0x80;
    } else if (lead >= 0x80) {
        ++*pnPos;
        return false;
    }
    if (lead >= 0xF5 || *pnPos + nLength > text.size()) {
        ++*pnPos;
        return false;
    }
    for (size_t i = 1; i < nLength; ++i) {
        if ((byte(*pnPos + i) & 0xC0) != 0x80) {
            ++*pnPos;
            return false;
        }
        nCode = (nCode << 6) | (byte(*pnPos + i) & 0x3F);
    }
    if (nCode < nMin || nCode > 0x10FFFF || (nCode >= 0xD800 && nCode <= 0xDFFF)) {
        ++*pnPos;
        return false;
    }
    *pnPos += nLength;
    *pnCode = nCode;
    return true;
}

size_t Columns(uint32_t nCode) {
    if ((nCode >= 0x0300 && nCode <= 0x036F) || (nCode >= 0x200B && nCode <= 0x200F) ||
        (nCode >= 0xFE00 && nCode <= 0xFE0F))
        return 0;
    if ((nCode >= 0x1100 && nCode <= 0x115F) || (nCode >= 0x2E80 && nCode <= 0xA4CF) ||
        (nCode >= 0xAC00 && nCode <= 0xD7A3) || (nCode >= 0xF900 && nCode <= 0xFAFF) ||
        (nCode >= 0xFE30 && nCode <= 0xFE4F) || (nCode >= 0xFF00 && nCode <= 0xFF60) ||
        (nCode >= 0xFFE0 && nCode <= 0xFFE6) || (nCode >= 0x1F300 && nCode <= 0x1F64F) ||
        (nCode >= 0x1F900 && nCode <= 0x1F9FF) || (nCode >= 0x20000 && nCode <= 0x3FFFD))
        return 2;
    return 1;
}

// The character as it is shown, and its columns.
std::string Shown(const std::string& text, size_t nFrom, size_t nTo, bool bValid, uint32_t nCode,
                  size_t* pnColumns) {
    if (!bValid) {
        *pnColumns = 1;
        return "?";
    }
    if (nCode < 0x20 || (nCode >= 0x7F && nCode < 0xA0)) {
        *pnColumns = 1;
        return " ";
    }
    *pnColumns = Columns(nCode);
    return text.substr(nFrom, nTo - nFrom);
}

} // namespace

size_t DisplayWidth(const std::string& text) {
    size_t nWidth = 0;
    for (size_t nPos = 0; nPos < text.size();) {
        const size_t nFrom = nPos;
        uint32_t nCode = 0;
        const bool bValid = NextCodePoint(text, &nPos, &nCode);
        size_t nColumns = 0;
        Shown(text, nFrom, nPos, bValid, nCode, &nColumns);
        nWidth += nColumns;
    }
    return nWidth;
}

std::string FitToWidth(const std::string& text, size_t nColumns) {
    std::string shown;
    std::string cut; // the longest start that leaves a column for the ellipsis
    size_t nWidth = 0;
    for (size_t nPos = 0; nPos < text.size();) {
        const size_t nFrom = nPos;
        uint32_t nCode = 0;
        const bool bValid = NextCodePoint(text, &nPos, &nCode);
        size_t nCharColumns = 0;
        const std::string ch = Shown(text, nFrom, nPos, bValid, nCode, &nCharColumns);
        if (nWidth + nCharColumns > nColumns)
            return nColumns == 0 ? std::string() : cut + kEllipsis;
        shown += ch;
        nWidth += nCharColumns;
        if (nWidth + 1 <= nColumns)
            cut = shown;
    }
    return shown;
}
