// The phones of --phones-from: one address a line, or the JSON array that
// `orvex list --json` prints (objects with "ip", or plain address strings).
#pragma once

#include "WinTypes.h"

#include <string>
#include <vector>

// Host-form addresses in the order given, duplicates kept. False with a
// one-line reason naming the line ("line 3: \"phone1\" is not an IPv4
// address") or, for JSON, the entry.
bool ReadPhoneList(const std::string& text, std::vector<DWORD>* pPhones, std::string* pError);
