// The JSON that orvex prints and writes: one compact object a line, keys in
// ascending order, text as UTF-8 with only the characters JSON demands
// escaped. Phones answer with bytes, not always UTF-8, so text is made valid
// first; numbers that are whole print without a fraction, so a byte count
// reads 1024, never 1024.0.
#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <string>

// The length of the well-formed UTF-8 character at p, before pEnd, with its
// code point in *pnCode; 0 when there is none (overlong, a surrogate, above
// U+10FFFF, cut short, or a stray continuation byte).
size_t Utf8Sequence(const char* p, const char* pEnd, unsigned long* pnCode);

// text with every byte that does not begin a well-formed UTF-8 character
// replaced by U+FFFD, the bytes after it read afresh, and a byte order mark
// in front dropped.
std::string ValidUtf8(const std::string& text);

// A JSON string of text made valid UTF-8.
nlohmann::json JsonText(const std::string& text);

// A JSON number: whole values a double holds exactly (up to 2^53) as
// integers, the rest as doubles.
nlohmann::json JsonNumber(double dValue);

// A double as JSON: its shortest digits that read back the same, plain or
// with an exponent ("2.5e+18", "1e-05"), whichever is shorter; not finite,
// null.
std::string NumberText(double dValue);

// value on one line, no blanks, object keys in ascending order; strings
// must be valid UTF-8.
std::string CompactJson(const nlohmann::json& value);
