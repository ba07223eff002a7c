#include "MemoryProfileStore.h"

#include "Profile.h"

UINT CMemoryProfileStore::GetInt(const char* pszSection, const char* pszEntry, int nDefault) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_values.find({pszSection, pszEntry});
    return it == m_values.end() ? static_cast<UINT>(nDefault)
                                : ParseProfileInt(it->second, nDefault);
}

std::string CMemoryProfileStore::GetString(const char* pszSection, const char* pszEntry,
                                           const char* pszDefault) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_values.find({pszSection, pszEntry});
    if (it != m_values.end())
        return it->second;
    return pszDefault != nullptr ? pszDefault : "";
}

BOOL CMemoryProfileStore::WriteInt(const char* pszSection, const char* pszEntry, int nValue) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_values[{pszSection, pszEntry}] = std::to_string(static_cast<uint32_t>(nValue));
    return TRUE;
}

BOOL CMemoryProfileStore::WriteString(const char* pszSection, const char* pszEntry,
                                      const char* pszValue) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_values[{pszSection, pszEntry}] = pszValue != nullptr ? pszValue : "";
    return TRUE;
}
