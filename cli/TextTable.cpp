#include "TextTable.h"

#include "TextWidth.h"

#include <algorithm>

std::vector<std::string> FormatTextTable(const std::vector<TextRow>& rows, size_t nWidth) {
    std::vector<size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], DisplayWidth(row[i]));
    }
    std::vector<std::string> lines;
    for (const auto& row : rows) {
        std::string line;
        for (size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size())
                line += std::string(widths[i] - DisplayWidth(row[i]) + 2, ' ');
        }
        lines.push_back(nWidth > 0 ? FitToWidth(line, nWidth) : line);
    }
    return lines;
}

void PrintTextTable(FILE* pOut, const std::vector<TextRow>& rows) {
    for (const auto& line : FormatTextTable(rows))
        fprintf(pOut, "%s\n", line.c_str());
}
