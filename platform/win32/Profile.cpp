// The Windows side of Profile.h: the user's profile is the registry key
// HKEY_CURRENT_USER\Software\Quillmark Communications\OrvexToolKit, one
// subkey per section; integers are REG_DWORD values, strings REG_SZ.
#include "Profile.h"

#include "ProfileStore.h"
#include "Win32Api.h"

#include <atomic>
#include <cctype>
#include <cstdint>
#include <mutex>

namespace {

const char kDefaultRoot[] = "Software";
const char kProfileKey[] = "Quillmark Communications\\OrvexToolKit";

class CRegistryStore : public IProfileStore {
public:
    // A value of another type than the one asked for reads as the default,
    // as an absent one does.
    UINT GetInt(const char* pszSection, const char* pszEntry, int nDefault) override {
        uint32_t dwValue;
        if (!Win32::ReadRegistryDword(Key(pszSection).c_str(), pszEntry, &dwValue))
            return static_cast<UINT>(nDefault);
        return dwValue;
    }

    std::string GetString(const char* pszSection, const char* pszEntry,
                          const char* pszDefault) override {
        std::string text;
        if (!Win32::ReadRegistryString(Key(pszSection).c_str(), pszEntry, &text))
            return pszDefault != nullptr ? pszDefault : "";
        return text;
    }

    BOOL WriteInt(const char* pszSection, const char* pszEntry, int nValue) override {
        return Win32::WriteRegistryDword(Key(pszSection).c_str(), pszEntry,
                                         static_cast<uint32_t>(nValue));
    }

    BOOL WriteString(const char* pszSection, const char* pszEntry, const char* pszValue) override {
        return Win32::WriteRegistryString(Key(pszSection).c_str(), pszEntry,
                                          pszValue != nullptr ? pszValue : "");
    }

    void SetRoot(const std::string& root) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_root = root.empty() ? kDefaultRoot : root;
    }

    // The key that holds the sections, below HKEY_CURRENT_USER.
    std::string ProfileKey() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_root + "\\" + kProfileKey;
    }

private:
    std::string Key(const char* pszSection) { return ProfileKey() + "\\" + pszSection; }

    std::mutex m_mutex;
    std::string m_root = kDefaultRoot;
};

CRegistryStore g_registryStore;
std::atomic<IProfileStore*> g_pStore{&g_registryStore};

bool IsBlank(char c) {
    return isspace(static_cast<unsigned char>(c)) != 0;
}

} // namespace

UINT ParseProfileInt(const std::string& text, int nDefault) {
    size_t nBegin = 0;
    size_t nEnd = text.size();
    while (nBegin < nEnd && IsBlank(text[nBegin]))
        ++nBegin;
    while (nEnd > nBegin && IsBlank(text[nEnd - 1]))
        --nEnd;
    bool bNegative = false;
    if (nBegin < nEnd && (text[nBegin] == '-' || text[nBegin] == '+'))
        bNegative = text[nBegin++] == '-';
    if (nBegin == nEnd)
        return static_cast<UINT>(nDefault);
    // Stored as DWORDs: 0..4294967295, and a signed value written by hand wraps.
    uint64_t nValue = 0;
    for (size_t i = nBegin; i < nEnd; ++i) {
        if (!isdigit(static_cast<unsigned char>(text[i])))
            return static_cast<UINT>(nDefault);
        nValue = nValue * 10 + static_cast<uint64_t>(text[i] - '0');
        if (nValue > 0xFFFFFFFFull)
            return static_cast<UINT>(nDefault);
    }
    if (!bNegative)
        return static_cast<UINT>(nValue);
    if (nValue == 0 || nValue > 0x80000000ull)
        return nValue == 0 ? 0u : static_cast<UINT>(nDefault);
    return static_cast<UINT>(-static_cast<int64_t>(nValue));
}

void SetProfileStore(IProfileStore* pStore) {
    g_pStore = pStore != nullptr ? pStore : &g_registryStore;
}

UINT GetProfileInt(const char* pszSection, const char* pszEntry, int nDefault) {
    return g_pStore.load()->GetInt(pszSection, pszEntry, nDefault);
}

std::string GetProfileString(const char* pszSection, const char* pszEntry, const char* pszDefault) {
    return g_pStore.load()->GetString(pszSection, pszEntry, pszDefault);
}

BOOL WriteProfileInt(const char* pszSection, const char* pszEntry, int nValue) {
    return g_pStore.load()->WriteInt(pszSection, pszEntry, nValue);
}

BOOL WriteProfileString(const char* pszSection, const char* pszEntry, const char* pszValue) {
    return g_pStore.load()->WriteString(pszSection, pszEntry, pszValue);
}

// The folder stands in for "Software": tests keep their profile under a key
// of their own, as on Linux they keep it in a folder of their own.
void SetProfileFolder(const std::string& folder) {
    g_registryStore.SetRoot(folder);
}

std::string GetProfileFileName() {
    return "HKEY_CURRENT_USER\\" + g_registryStore.ProfileKey();
}
