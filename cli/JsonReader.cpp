#include "JsonReader.h"

#include "JsonText.h"

#include <charconv>

namespace {

constexpr int kMostNesting = 1024;
const char kBom[] = "\xEF\xBB\xBF";

class CJsonReader {
public:
    explicit CJsonReader(const std::string& text)
        : m_pHead(text.data()), m_p(text.data()), m_pEnd(text.data() + text.size()) {}

    bool Read(nlohmann::json* pValue) {
        // A byte order mark in front, when more follows.
        if (m_pEnd - m_p > 3 && std::char_traits<char>::compare(m_p, kBom, 3) == 0)
            m_p += 3;
        const char token = NextToken();
        bool bRead = false;
        if (token == '[')
            bRead = ReadArray(pValue);
        else if (token == '{')
            bRead = ReadObject(pValue);
        else
            m_pszReason = "illegal value";
        if (!bRead)
            return false;
        SkipBlanks();
        if (m_p < m_pEnd)
            return Fail("garbage at the end of the document");
        return true;
    }

    const char* Reason() const { return m_pszReason; }
    size_t Offset() const { return static_cast<size_t>(m_p - m_pHead); }

private:
    bool Fail(const char* pszReason) {
        m_pszReason = pszReason;
        return false;
    }

    // False at the end.
    bool SkipBlanks() {
        while (m_p < m_pEnd && (*m_p == ' ' || *m_p == '\t' || *m_p == '\n' || *m_p == '\r'))
            ++m_p;
        return m_p < m_pEnd;
    }

    // The next structural character or quote, taken; 0 for anything else,
    // which is taken too, or for the end.
    char NextToken() {
        if (!SkipBlanks())
            return 0;
        const char c = *m_p++;
        switch (c) {
        case '[':
        case '{':
        case ':':
        case ',':
        case ']':
        case '}':
        case '"':
            return c;
        default:
            return 0;
        }
    }

    bool ReadObject(nlohmann::json* pValue) {
        if (++m_nNesting > kMostNesting)
            return Fail("too deeply nested document");
        *pValue = nlohmann::json::object();
        char token = NextToken();
        while (token == '"') {
            std::string key;
            if (!ReadString(&key))
                return false;
            if (NextToken() != ':')
                return Fail("missing name separator");
            if (!SkipBlanks())
                return Fail("unterminated object");
            nlohmann::json member;
            if (!ReadValue(&member))
                return false;
            (*pValue)[key] = std::move(member);
            token = NextToken();
            if (token != ',')
                break;
            token = NextToken();
            if (token == '}')
                return Fail("object is missing after a comma");
        }
        if (token != '}')
            return Fail("unterminated object");
        --m_nNesting;
        return true;
    }

    bool ReadArray(nlohmann::json* pValue) {
        if (++m_nNesting > kMostNesting)
            return Fail("too deeply nested document");
        *pValue = nlohmann::json::array();
        if (!SkipBlanks())
            return Fail("unterminated array");
        if (*m_p == ']') {
            NextToken();
        } else {
            for (;;) {
                if (!SkipBlanks())
                    return Fail("unterminated array");
                nlohmann::json element;
                if (!ReadValue(&element))
                    return false;
                pValue->push_back(std::move(element));
                const char token = NextToken();
                if (token == ']')
                    break;
                if (token != ',')
                    return Fail(SkipBlanks() ? "missing value separator" : "unterminated array");
            }
        }
        --m_nNesting;
        return true;
    }

    // The rest of a literal whose first letter is taken; the bytes after
    // the literal must leave room for one more.
    bool ReadLiteral(const char* pszRest, nlohmann::json literal, nlohmann::json* pValue) {
        const size_t nRest = std::char_traits<char>::length(pszRest);
        if (static_cast<size_t>(m_pEnd - m_p) < nRest + 1)
            return Fail("illegal value");
        for (const char* p = pszRest; *p != '\0'; ++p) {
            if (*m_p++ != *p)
                return Fail("illegal value");
        }
        *pValue = std::move(literal);
        return true;
    }

    bool ReadValue(nlohmann::json* pValue) {
        switch (*m_p++) {
        case 'n':
            return ReadLiteral("ull", nullptr, pValue);
        case 't':
            return ReadLiteral("rue", true, pValue);
        case 'f':
            return ReadLiteral("alse", false, pValue);
        case '"': {
            std::string text;
            bool bEscaped = false;
            if (!ReadString(&text, &bEscaped))
                return false;
            // A value without escapes is taken as UTF-8 text, and so loses
            // a byte order mark in front; keys and escaped values keep it.
            if (!bEscaped && text.rfind(kBom, 0) == 0)
                text.erase(0, sizeof kBom - 1);
            *pValue = std::move(text);
            return true;
        }
        case '[':
            return ReadArray(pValue);
        case '{':
            return ReadObject(pValue);
        case ',':
            return Fail("illegal value");
        case ']':
        case '}':
            return Fail("object is missing after a comma");
        default:
            --m_p;
            return ReadNumber(pValue);
        }
    }

    bool ReadNumber(nlohmann::json* pValue) {
        const auto digits = [this] {
            while (m_p < m_pEnd && *m_p >= '0' && *m_p <= '9')
                ++m_p;
        };
        const char* const pStart = m_p;
        if (m_p < m_pEnd && *m_p == '-')
            ++m_p;
        if (m_p < m_pEnd && *m_p == '0')
            ++m_p;
        else
            digits();
        if (m_p < m_pEnd && *m_p == '.') {
            ++m_p;
            digits();
        }
        if (m_p < m_pEnd && (*m_p == 'e' || *m_p == 'E')) {
            ++m_p;
            if (m_p < m_pEnd && (*m_p == '-' || *m_p == '+'))
                ++m_p;
            digits();
        }
        if (m_p >= m_pEnd)
            return Fail("invalid termination by number");
        // A mantissa and an exponent each need a digit, and the value must
        // be one a double holds.
        double dValue = 0;
        const auto result = std::from_chars(pStart, m_p, dValue);
        if (result.ec != std::errc() || result.ptr != m_p)
            return Fail("illegal number");
        *pValue = dValue;
        return true;
    }

    // Bytes of the well-formed UTF-8 character at m_p taken into *pnCode;
    // false with m_p left there.
    bool ReadUtf8(unsigned long* pnCode) {
        const size_t nLength = Utf8Sequence(m_p, m_pEnd, pnCode);
        m_p += nLength;
        return nLength > 0;
    }

    // The escape at m_p ('\\'), taken; false where it stops being one.
    bool ReadEscape(unsigned long* pnCode) {
        if (++m_p >= m_pEnd)
            return false;
        const char c = *m_p++;
        switch (c) {
        case 'b':
            *pnCode = 0x08;
            return true;
        case 'f':
            *pnCode = 0x0C;
            return true;
        case 'n':
            *pnCode = 0x0A;
            return true;
        case 'r':
            *pnCode = 0x0D;
            return true;
        case 't':
            *pnCode = 0x09;
            return true;
        case 'u':
            break;
        default:
            *pnCode = static_cast<unsigned char>(c);
            return true;
        }
        *pnCode = 0;
        if (m_pEnd - m_p < 4)
            return false;
        for (int i = 0; i < 4; ++i, ++m_p) {
            const char h = *m_p;
            const int nDigit = h >= '0' && h <= '9'   ? h - '0'
                               : h >= 'a' && h <= 'f' ? h - 'a' + 10
                               : h >= 'A' && h <= 'F' ? h - 'A' + 10
                                                      : -1;
            if (nDigit < 0)
                return false;
            *pnCode = (*pnCode << 4) | static_cast<unsigned long>(nDigit);
        }
        return true;
    }

    static void AppendUtf8(unsigned long nCode, std::string* pText) {
        if (nCode < 0x80) {
            *pText += static_cast<char>(nCode);
        } else if (nCode < 0x800) {
            *pText += static_cast<char>(0xC0 | (nCode >> 6));
            *pText += static_cast<char>(0x80 | (nCode & 0x3F));
        } else if (nCode < 0x10000) {
            *pText += static_cast<char>(0xE0 | (nCode >> 12));
            *pText += static_cast<char>(0x80 | ((nCode >> 6) & 0x3F));
            *pText += static_cast<char>(0x80 | (nCode & 0x3F));
        } else {
            *pText += static_cast<char>(0xF0 | (nCode >> 18));
            *pText += static_cast<char>(0x80 | ((nCode >> 12) & 0x3F));
            *pText += static_cast<char>(0x80 | ((nCode >> 6) & 0x3F));
            *pText += static_cast<char>(0x80 | (nCode & 0x3F));
        }
    }

    // A string whose opening quote is taken. Its UTF-8 is checked up to the
    // first escape before the escapes are read.
    bool ReadString(std::string* pText, bool* pbEscaped = nullptr) {
        const char* const pStart = m_p;
        bool bEscaped = false;
        while (m_p < m_pEnd && *m_p != '"') {
            if (*m_p == '\\') {
                bEscaped = true;
                break;
            }
            unsigned long nCode = 0;
            if (!ReadUtf8(&nCode))
                return Fail("invalid UTF8 string");
        }
        if (++m_p >= m_pEnd)
            return Fail("unterminated string");
        if (pbEscaped != nullptr)
            *pbEscaped = bEscaped;
        if (!bEscaped) {
            pText->assign(pStart, m_p - 1);
            return true;
        }
        m_p = pStart;
        pText->clear();
        unsigned long nHigh = 0; // a high surrogate waiting for its low half
        while (m_p < m_pEnd && *m_p != '"') {
            unsigned long nCode = 0;
            if (*m_p == '\\') {
                if (!ReadEscape(&nCode))
                    return Fail("invalid escape sequence");
            } else if (!ReadUtf8(&nCode)) {
                return Fail("invalid UTF8 string");
            }
            AppendCode(nCode, &nHigh, pText);
        }
        if (nHigh != 0)
            *pText += '?';
        if (++m_p >= m_pEnd)
            return Fail("unterminated string");
        return true;
    }

    // Surrogates come from \u escapes: a high half then a low half make one
    // character; any other half is a "?".
    static void AppendCode(unsigned long nCode, unsigned long* pnHigh, std::string* pText) {
        const bool bHigh = nCode >= 0xD800 && nCode <= 0xDBFF;
        const bool bLow = nCode >= 0xDC00 && nCode <= 0xDFFF;
        if (*pnHigh != 0) {
            if (bLow) {
                AppendUtf8(0x10000 + ((*pnHigh - 0xD800) << 10) + (nCode - 0xDC00), pText);
                *pnHigh = 0;
                return;
            }
            *pText += '?';
            *pnHigh = 0;
        }
        if (bHigh)
            *pnHigh = nCode;
        else if (bLow)
            *pText += '?';
        else
            AppendUtf8(nCode, pText);
    }

    const char* const m_pHead;
    const char* m_p;
    const char* const m_pEnd;
    int m_nNesting = 0;
    const char* m_pszReason = "";
};

} // namespace

bool ReadJsonDocument(const std::string& text, nlohmann::json* pValue, std::string* pReason,
                      size_t* pnOffset) {
    CJsonReader reader(text);
    if (reader.Read(pValue))
        return true;
    *pReason = reader.Reason();
    *pnOffset = reader.Offset();
    return false;
}
