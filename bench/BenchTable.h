// The benchmark's one table: each row a measure with its value, the target
// it is held against (if any) and whether it met it.
#pragma once

#include <string>
#include <vector>

class CBenchTable {
public:
    struct CRow {
        std::string section;
        std::string measure;
        std::string value; // as printed
        double dValue = 0; // for the JSON; NaN-free, 0 when not measured
        std::string unit;
        std::string target;  // empty: no target
        std::string verdict; // "ok", "MISSED", "skipped", "error" or empty
    };

    void Add(const CRow& row) { m_rows.push_back(row); }
    void Note(const std::string& text) { m_notes.push_back(text); }
    bool HasError() const;

    void Print() const;
    bool WriteJson(const std::string& path) const;

private:
    std::vector<CRow> m_rows;
    std::vector<std::string> m_notes;
};

// The value with nDecimals decimals.
std::string Fixed(double dValue, int nDecimals);
// n with a comma between each three digits (65,536).
std::string Thousands(long long n);
// The machine's load average over 1, 5 and 15 minutes, for the notes.
std::string LoadAverage();
