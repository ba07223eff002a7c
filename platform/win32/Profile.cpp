// The Windows side of Profile.h: the user's profile is the registry key
// HKEY_CURRENT_USER\Software\Quillmark Communications\OrvexToolKit, one
// subkey per section; integers are REG_DWORD values, strings REG_SZ.
#include "Profile.h"

#include "UserProfileStore.h"
#include "Win32Api.h"

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

} // namespace

IProfileStore& UserProfileStore() {
    return g_registryStore;
}

// The folder stands in for "Software": tests keep their profile under a key
// of their own, as on Linux they keep it in a folder of their own.
void SetProfileFolder(const std::string& folder) {
    g_registryStore.SetRoot(folder);
}

std::string GetProfileFileName() {
    return "HKEY_CURRENT_USER\\" + g_registryStore.ProfileKey();
}
