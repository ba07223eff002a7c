// Where the profile functions keep their values. The windowed tool keeps the
// user's own profile (QSettings); orvex installs a store in memory, so it
// never reads or writes that profile.
#pragma once

#include "WinTypes.h"

#include <string>

class IProfileStore {
public:
    virtual ~IProfileStore() = default;
    // nDefault when the value is absent or not a 32-bit integer.
    virtual UINT GetInt(const char* pszSection, const char* pszEntry, int nDefault) = 0;
    virtual std::string GetString(const char* pszSection, const char* pszEntry,
                                  const char* pszDefault) = 0;
    virtual BOOL WriteInt(const char* pszSection, const char* pszEntry, int nValue) = 0;
    virtual BOOL WriteString(const char* pszSection, const char* pszEntry, const char* pszValue) = 0;
};

// Null restores the user's own profile. Stores are read from several threads.
void SetProfileStore(IProfileStore* pStore);
