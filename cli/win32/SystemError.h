// Internal to the Windows side of cli/: a Win32 error as the text the Linux
// side gives for the same case (strerror of the matching errno), so that
// orvex.exe says what orvex says; other errors as the system words them.
#pragma once

#include <cstdint>
#include <string>

std::string SystemErrorText(uint32_t dwError);
