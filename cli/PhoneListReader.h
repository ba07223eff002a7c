// The phones of --phones-from: one address a line, or the JSON array that
// `orvex list --json` prints (objects with "ip", or plain address strings),
// or the one that --report writes (objects with "address" and "ok").
#pragma once

#include "WinTypes.h"

#include <cstddef>
#include <string>
#include <vector>

// The most phones one run takes: a /16 full of phones, as many as `orvex
// list` lists.
constexpr size_t kMaxPhones = 65536;
// The most bytes a phone list may hold. `orvex list --json` prints about
// 160 bytes a phone, 10 MiB for kMaxPhones; anything longer is not a list.
constexpr size_t kMaxPhoneListBytes = 16u << 20;

// Host-form addresses in the order given, duplicates kept. A leading UTF-8
// byte order mark is skipped. False with a one-line reason naming the line
// ("line 3: \"phone1\" is not an IPv4 address") or, for JSON, the entry.
// bOnlyFailed keeps the entries of a report whose "ok" is false; then every
// entry must have a true or false "ok".
bool ReadPhoneList(const std::string& text, std::vector<DWORD>* pPhones, std::string* pError,
                   bool bOnlyFailed = false);

// The addresses of given in their first occurrence's order, each once, in
// O(n log n). pRepeated gets each address given more than once, once, in
// the order of its first occurrence.
std::vector<DWORD> RemoveRepeatedPhones(const std::vector<DWORD>& given,
                                        std::vector<DWORD>* pRepeated);
