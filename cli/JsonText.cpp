#include "JsonText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace {

const char kReplacement[] = "\xEF\xBF\xBD"; // U+FFFD
const char kBom[] = "\xEF\xBB\xBF";         // U+FEFF
// Whole numbers up to here are exact in a double; past it they print as a
// double's shortest digits.
constexpr double kExactWhole = 9007199254740992.0; // 2^53

} // namespace

size_t Utf8Sequence(const char* p, const char* pEnd, unsigned long* pnCode) {
    const auto* pByte = reinterpret_cast<const unsigned char*>(p);
    const size_t nLeft = static_cast<size_t>(pEnd - p);
    size_t nLength = 0;
    unsigned long nCode = 0;
    if (pByte[0] < 0x80) {
        nLength = 1;
        nCode = pByte[0];
    } else if (pByte[0] >= 0xC2 && pByte[0] <= 0xDF) {
        nLength = 2;
        nCode = pByte[0] & 0x1F;
    } else if (pByte[0] >= 0xE0 && pByte[0] <= 0xEF) {
        nLength = 3;
        nCode = pByte[0] & 0x0F;
    } else if (pByte[0] >= 0xF0 && pByte[0] <= 0xF4) {
        nLength = 4;
        nCode = pByte[0] & 0x07;
    } else {
        return 0;
    }
    if (nLeft < nLength)
        return 0;
    for (size_t i = 1; i < nLength; ++i) {
        if ((pByte[i] & 0xC0) != 0x80)
            return 0;
        nCode = (nCode << 6) | (pByte[i] & 0x3F);
    }
    // Overlong forms, surrogates and what lies past Unicode are no characters.
    const unsigned long nSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (nCode < nSmallest[nLength] || (nCode >= 0xD800 && nCode <= 0xDFFF) || nCode > 0x10FFFF)
        return 0;
    *pnCode = nCode;
    return nLength;
}

std::string ValidUtf8(const std::string& text) {
    std::string valid;
    valid.reserve(text.size());
    // A byte order mark in front is dropped, as any UTF-8 decoder may.
    const size_t nBom = text.rfind(kBom, 0) == 0 ? sizeof kBom - 1 : 0;
    for (size_t i = nBom; i < text.size();) {
        unsigned long nCode = 0;
        const size_t nLength = Utf8Sequence(text.data() + i, text.data() + text.size(), &nCode);
        if (nLength == 0) {
            valid += kReplacement;
            ++i;
        } else {
            valid.append(text, i, nLength);
            i += nLength;
        }
    }
    return valid;
}

nlohmann::json JsonText(const std::string& text) {
    return ValidUtf8(text);
}

nlohmann::json JsonNumber(double dValue) {
    if (std::isfinite(dValue) && dValue == std::trunc(dValue) && std::fabs(dValue) <= kExactWhole)
        return static_cast<long long>(dValue);
    return dValue;
}

std::string NumberText(double dValue) {
    if (!std::isfinite(dValue))
        return "null";
    // The shortest digits that read back as dValue, then the shorter of the
    // plain and the exponent form.
    char sz[32];
    const auto result = std::to_chars(sz, sz + sizeof sz, dValue, std::chars_format::scientific);
    const std::string scientific(sz, result.ptr);
    const size_t nE = scientific.find('e');
    const bool bNegative = scientific[0] == '-';
    std::string digits = scientific.substr(bNegative, nE - bNegative);
    digits.erase(std::remove(digits.begin(), digits.end(), '.'), digits.end());
    const int nExponent = std::atoi(scientific.c_str() + nE + 1);
    const int nDigits = static_cast<int>(digits.size());
    const std::string sign = bNegative ? "-" : "";

    std::string mantissa = digits.substr(0, 1);
    if (nDigits > 1)
        mantissa += "." + digits.substr(1);
    const int nAbsExponent = std::abs(nExponent);
    std::string exponent = nExponent < 0 ? "e-" : "e+";
    exponent += (nAbsExponent < 10 ? "0" : "") + std::to_string(nAbsExponent);
    const std::string exponentForm = sign + mantissa + exponent;

    const int nPoint = nExponent + 1; // digits before the decimal point
    std::string plain;
    if (nPoint <= 0)
        plain = "0." + std::string(static_cast<size_t>(-nPoint), '0') + digits;
    else if (nPoint >= nDigits)
        plain = digits + std::string(static_cast<size_t>(nPoint - nDigits), '0');
    else
        plain = digits.substr(0, static_cast<size_t>(nPoint)) + "." +
                digits.substr(static_cast<size_t>(nPoint));
    plain = sign + plain;
    return exponentForm.size() < plain.size() ? exponentForm : plain;
}

std::string CompactJson(const nlohmann::json& value) {
    switch (value.type()) {
    case nlohmann::json::value_t::object: {
        std::string out = "{";
        for (auto it = value.begin(); it != value.end(); ++it)
            out += (it == value.begin() ? "" : ",") + nlohmann::json(it.key()).dump() + ":" +
                   CompactJson(it.value());
        return out + "}";
    }
    case nlohmann::json::value_t::array: {
        std::string out = "[";
        for (auto it = value.begin(); it != value.end(); ++it)
            out += (it == value.begin() ? "" : ",") + CompactJson(*it);
        return out + "]";
    }
    case nlohmann::json::value_t::number_float:
        return NumberText(value.get<double>());
    default:
        return value.dump();
    }
}
