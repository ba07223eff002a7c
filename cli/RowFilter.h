// orvex list --where: one condition on a listed phone's row, FIELD=GLOB or
// FIELD!=GLOB, over the seven texts the List Phones dialog shows.
#pragma once

#include "PhoneReply.h"

#include <string>

class CRowFilter {
public:
    // The field names, in the dialog's column order, for the usage line.
    static const char kFieldNames[];

    // False with a one-line reason when text names no field or has no "=".
    bool Parse(const std::string& text, std::string* pError);
    bool Matches(const PhoneTexts& texts) const;

private:
    size_t m_nColumn = 0;
    std::string m_glob;
    bool m_bNegated = false;
};

// The shell's pattern over the whole text, byte by byte and case-sensitive:
// "*" any run, "?" any one byte, "[a-z]" and "[!a-z]" (or "[^a-z]") a set,
// "\" takes the next byte as it is.
bool MatchGlob(const std::string& glob, const std::string& text);
