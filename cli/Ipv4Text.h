// Dotted IPv4 text to the host form (first octet in the top byte) and back.
#pragma once

#include "WinTypes.h"

#include <string>

// Exactly four decimal octets 0..255 joined by dots; no blanks, no signs, no
// shortened forms ("10.1") and no leading zeros ("010.0.0.1"), so
// "300.1.1.1" and "phone1" are refused.
bool ParseIpv4(const std::string& text, DWORD* pdwHostForm);
std::string FormatIpv4(DWORD dwHostForm);
