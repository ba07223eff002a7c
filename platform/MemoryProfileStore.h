// A profile that lives only as long as the process: orvex keeps its settings
// here, so it never touches the windowed tool's profile.
#pragma once

#include "ProfileStore.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>

class CMemoryProfileStore : public IProfileStore {
public:
    UINT GetInt(const char* pszSection, const char* pszEntry, int nDefault) override;
    std::string GetString(const char* pszSection, const char* pszEntry,
                          const char* pszDefault) override;
    BOOL WriteInt(const char* pszSection, const char* pszEntry, int nValue) override;
    BOOL WriteString(const char* pszSection, const char* pszEntry, const char* pszValue) override;

private:
    std::mutex m_mutex;
    std::map<std::pair<std::string, std::string>, std::string> m_values;
};
