// The per-user profile: sections of named 32-bit integers and strings, with
// a default applied on every read. Kept by QSettings under the organisation
// "Quillmark Communications" and the application "OrvexToolKit".
#pragma once

#include "WinTypes.h"

#include <string>

UINT GetProfileInt(const char* pszSection, const char* pszEntry, int nDefault);
std::string GetProfileString(const char* pszSection, const char* pszEntry, const char* pszDefault);
BOOL WriteProfileInt(const char* pszSection, const char* pszEntry, int nValue);
BOOL WriteProfileString(const char* pszSection, const char* pszEntry, const char* pszValue);

// A stored integer's text as GetProfileInt reads it: nDefault unless it is a
// 32-bit value, unsigned or negative.
UINT ParseProfileInt(const std::string& text, int nDefault);

// Points the user's store at a folder of its own (tests, the demo); an empty path
// returns to the user's own profile. Other
// stores (SetProfileStore) are not affected.
void SetProfileFolder(const std::string& folder);
// The file that holds the profile now.
std::string GetProfileFileName();
