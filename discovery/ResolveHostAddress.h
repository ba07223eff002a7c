// Turns the IP Address text of a listed phone back into an address.
#pragma once

#include "WinTypes.h"

#include <string>

// Network byte order: a dotted address as it stands, else the first address
// of the name's look-up, else all ones (255.255.255.255).
DWORD ResolveHostAddress(const std::string& text);
