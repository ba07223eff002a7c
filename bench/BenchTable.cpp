#include "BenchTable.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace {
std::string JsonText(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

// Width in characters on a UTF-8 terminal ("µ" is two bytes, one column).
size_t Columns(const std::string& text) {
    return static_cast<size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

std::string Pad(const std::string& text, size_t nWidth) {
    const size_t n = Columns(text);
    return n >= nWidth ? text : text + std::string(nWidth - n, ' ');
}
} // namespace

std::string Fixed(double dValue, int nDecimals) {
    char sz[64];
    snprintf(sz, sizeof sz, "%.*f", nDecimals, dValue);
    return sz;
}

std::string Thousands(long long n) {
    std::string text = std::to_string(n);
    for (int i = static_cast<int>(text.size()) - 3; i > 0; i -= 3)
        text.insert(static_cast<size_t>(i), ",");
    return text;
}

bool CBenchTable::HasError() const {
    return std::any_of(m_rows.begin(), m_rows.end(),
                       [](const CRow& r) { return r.verdict == "error"; });
}

void CBenchTable::Print() const {
    const std::vector<std::string> headings = {"section", "measure", "value", "target", "verdict"};
    std::vector<size_t> widths;
    for (const std::string& h : headings)
        widths.push_back(Columns(h));
    auto cells = [](const CRow& r) {
        return std::vector<std::string>{r.section, r.measure,
                                        r.value + (r.unit.empty() ? "" : " " + r.unit), r.target,
                                        r.verdict};
    };
    for (const CRow& r : m_rows) {
        const std::vector<std::string> c = cells(r);
        for (size_t i = 0; i < c.size(); ++i)
            widths[i] = std::max(widths[i], Columns(c[i]));
    }
    auto line = [&](const std::vector<std::string>& c) {
        std::string s;
        for (size_t i = 0; i < c.size(); ++i)
            s += Pad(c[i], widths[i] + 2);
        while (!s.empty() && s.back() == ' ')
            s.pop_back();
        printf("%s\n", s.c_str());
    };
    line(headings);
    for (const CRow& r : m_rows)
        line(cells(r));
    for (const std::string& note : m_notes)
        printf("note: %s\n", note.c_str());
    fflush(stdout);
}

bool CBenchTable::WriteJson(const std::string& path) const {
    std::ofstream out(path);
    out << "{\n  \"rows\": [\n";
    for (size_t i = 0; i < m_rows.size(); ++i) {
        const CRow& r = m_rows[i];
        out << "    {\"section\": " << JsonText(r.section)
            << ", \"measure\": " << JsonText(r.measure) << ", \"value\": " << Fixed(r.dValue, 3)
            << ", \"text\": " << JsonText(r.value) << ", \"unit\": " << JsonText(r.unit)
            << ", \"target\": " << JsonText(r.target) << ", \"verdict\": " << JsonText(r.verdict)
            << "}" << (i + 1 < m_rows.size() ? "," : "") << "\n";
    }
    out << "  ],\n  \"notes\": [";
    for (size_t i = 0; i < m_notes.size(); ++i)
        out << (i ? ", " : "") << JsonText(m_notes[i]);
    out << "]\n}\n";
    return static_cast<bool>(out);
}

std::string LoadAverage() {
    std::ifstream loadavg("/proc/loadavg");
    double d1 = 0, d5 = 0, d15 = 0;
    loadavg >> d1 >> d5 >> d15;
    return Fixed(d1, 2) + " " + Fixed(d5, 2) + " " + Fixed(d15, 2);
}
