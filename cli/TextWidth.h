// Text as a terminal shows it: UTF-8 counted in display columns (a wide
// character takes two, a combining mark none), so that a line cut to a
// terminal's width never wraps.
#pragma once

#include <cstddef>
#include <string>

size_t DisplayWidth(const std::string& text);

// text in at most nColumns columns: when it is wider, as much as fits
// followed by "…". Control characters become spaces; bytes that are not
// UTF-8 become "?".
std::string FitToWidth(const std::string& text, size_t nColumns);
