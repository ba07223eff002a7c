// Asks before a HEX file that does not look like the flash page goes out.
#pragma once

#include <string>

// True without asking when the file's name contains "page0.hex" (any case);
// otherwise asks "Are you sure about flash page?" and is true on Yes.
bool ConfirmFlashPageFile(const std::string& path);
