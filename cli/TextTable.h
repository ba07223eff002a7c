// Rows of text in columns padded to their widest cell, as `orvex list` and
// the update summary print them.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

using TextRow = std::vector<std::string>;

// The last column is not padded, so no line ends in blanks. With nWidth
// (a terminal's columns) each line is cut to it, so nothing wraps; the last
// column is the one that gives way.
std::vector<std::string> FormatTextTable(const std::vector<TextRow>& rows, size_t nWidth = 0);
void PrintTextTable(FILE* pOut, const std::vector<TextRow>& rows);
