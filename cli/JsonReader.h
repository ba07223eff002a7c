// The JSON reader of --phones-from. It takes and refuses the documents orvex
// has always taken and refused, with the same reasons at the same places, so
// a list that worked keeps working and a broken one is named as before:
// - an object or an array at the top, after a byte order mark if more
//   follows it; blanks only space, tab, CR and LF;
// - inside strings any well-formed UTF-8, control characters too; an
//   unknown escape stands for its character ("\x" is "x"); a \u escape of a
//   lone surrogate reads as "?"; a value without escapes loses a byte order
//   mark in front;
// - numbers as JSON writes them, though "1." and ".5" pass, and a number
//   that overflows a double, or a non-zero one that rounds to zero, is
//   illegal; a number is never the document's last byte;
// - a repeated key keeps its last value; at most 1024 levels of nesting.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

// False with the reason ("unterminated string") and the byte offset where
// reading stopped, which may be one past the end.
bool ReadJsonDocument(const std::string& text, nlohmann::json* pValue, std::string* pReason,
                      size_t* pnOffset);
