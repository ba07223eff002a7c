// One field of RFC 4180 CSV, as orvex list --csv and --report FILE.csv write it.
#pragma once

#include <string>

// Quoted, with its quotes doubled, when it holds a comma, a quote or a line end.
std::string CsvField(const std::string& text);
