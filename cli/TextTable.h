// Rows of text in columns padded to their widest cell, as `orvex list` and
// the update summary print them.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

using TextRow = std::vector<std::string>;

// The last column is not padded, so no line ends in blanks.
void PrintTextTable(FILE* pOut, const std::vector<TextRow>& rows);
