// The profile functions and the reading of a stored integer's text, the
// same on both platforms and free of Qt; only the user's own store differs
// (Profile.cpp, win32/Profile.cpp).
#include "Profile.h"

#include "UserProfileStore.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace {

// Null while the user's own store serves.
std::atomic<IProfileStore*> g_pStore{nullptr};

IProfileStore* Store() {
    IProfileStore* pStore = g_pStore.load();
    return pStore != nullptr ? pStore : &UserProfileStore();
}

// Decodes UTF-8 as QString::fromStdString does for valid text; false for
// text that is not UTF-8, which never reads as a number.
bool DecodeUtf8(const std::string& text, std::vector<char32_t>* pChars) {
    size_t i = 0;
    while (i < text.size()) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        size_t nLength;
        char32_t c;
        char32_t nSmallest;
        if (lead < 0x80) {
            nLength = 1, c = lead, nSmallest = 0;
        } else if ((lead & 0xE0) == 0xC0) {
            nLength = 2, c = lead & 0x1F, nSmallest = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            nLength = 3, c = lead & 0x0F, nSmallest = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            nLength = 4, c = lead & 0x07, nSmallest = 0x10000;
        } else {
            return false;
        }
        if (text.size() - i < nLength)
            return false;
        for (size_t k = 1; k < nLength; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            c = (c << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and what lies beyond Unicode are not UTF-8.
        if (c < nSmallest || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)
            return false;
        pChars->push_back(c);
        i += nLength;
    }
    return true;
}

bool IsAsciiBlank(char32_t c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The characters QString::trimmed() removes (QChar::isSpace).
bool IsBlank(char32_t c) {
    return IsAsciiBlank(c) || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

} // namespace

// Reads as the Linux store always has, through QString: trimmed, then an
// unsigned decimal up to 4294967295 or a negative one down to -2147483648
// (wrapped); "-0" and anything else give the default. Qt's number parser
// stops at a NUL and skips only ASCII blanks before it.
UINT ParseProfileInt(const std::string& text, int nDefault) {
    const size_t nNul = text.find('\0');
    std::vector<char32_t> chars;
    if (!DecodeUtf8(text.substr(0, nNul), &chars))
        return static_cast<UINT>(nDefault);
    size_t nBegin = 0;
    size_t nEnd = chars.size();
    // A byte order mark at the start is dropped in decoding, as Qt does.
    if (nBegin < nEnd && chars[nBegin] == 0xFEFF)
        ++nBegin;
    while (nBegin < nEnd && IsBlank(chars[nBegin]))
        ++nBegin;
    while (nEnd > nBegin &&
           (nNul == std::string::npos ? IsBlank(chars[nEnd - 1]) : IsAsciiBlank(chars[nEnd - 1])))
        --nEnd;
    bool bNegative = false;
    if (nBegin < nEnd && (chars[nBegin] == '-' || chars[nBegin] == '+'))
        bNegative = chars[nBegin++] == '-';
    if (nBegin == nEnd)
        return static_cast<UINT>(nDefault);
    // Stored as DWORDs: 0..4294967295, and a signed value written by hand wraps.
    uint64_t nValue = 0;
    for (size_t i = nBegin; i < nEnd; ++i) {
        if (chars[i] < '0' || chars[i] > '9')
            return static_cast<UINT>(nDefault);
        nValue = nValue * 10 + (chars[i] - '0');
        if (nValue > 0xFFFFFFFFull)
            return static_cast<UINT>(nDefault);
    }
    if (!bNegative)
        return static_cast<UINT>(nValue);
    if (nValue == 0 || nValue > 0x80000000ull)
        return static_cast<UINT>(nDefault);
    return static_cast<UINT>(-static_cast<int64_t>(nValue));
}

void SetProfileStore(IProfileStore* pStore) {
    g_pStore = pStore;
}

UINT GetProfileInt(const char* pszSection, const char* pszEntry, int nDefault) {
    return Store()->GetInt(pszSection, pszEntry, nDefault);
}

std::string GetProfileString(const char* pszSection, const char* pszEntry, const char* pszDefault) {
    return Store()->GetString(pszSection, pszEntry, pszDefault);
}

BOOL WriteProfileInt(const char* pszSection, const char* pszEntry, int nValue) {
    return Store()->WriteInt(pszSection, pszEntry, nValue);
}

BOOL WriteProfileString(const char* pszSection, const char* pszEntry, const char* pszValue) {
    return Store()->WriteString(pszSection, pszEntry, pszValue);
}
