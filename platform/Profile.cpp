// The Linux side of the profile: the user's own store is QSettings.
#include "Profile.h"

#include "UserProfileStore.h"

#include <QSettings>
#include <QString>

#include <memory>
#include <mutex>

namespace {

const char kOrganisation[] = "Quillmark Communications";
const char kApplication[] = "OrvexToolKit";

// The user's own profile, kept by QSettings.
class CSettingsStore : public IProfileStore {
public:
    UINT GetInt(const char* pszSection, const char* pszEntry, int nDefault) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        QVariant value = OpenStore()->value(Key(pszSection, pszEntry));
        if (!value.isValid())
            return static_cast<UINT>(nDefault);
        return ParseProfileInt(value.toString().toStdString(), nDefault);
    }

    std::string GetString(const char* pszSection, const char* pszEntry,
                          const char* pszDefault) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        QVariant value = OpenStore()->value(Key(pszSection, pszEntry));
        if (!value.isValid())
            return pszDefault != nullptr ? pszDefault : "";
        return value.toString().toStdString();
    }

    BOOL WriteInt(const char* pszSection, const char* pszEntry, int nValue) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto pStore = OpenStore();
        pStore->setValue(Key(pszSection, pszEntry), QString::number(static_cast<uint32_t>(nValue)));
        pStore->sync();
        return pStore->status() == QSettings::NoError;
    }

    BOOL WriteString(const char* pszSection, const char* pszEntry, const char* pszValue) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto pStore = OpenStore();
        pStore->setValue(Key(pszSection, pszEntry),
                         QString::fromStdString(pszValue ? pszValue : ""));
        pStore->sync();
        return pStore->status() == QSettings::NoError;
    }

    void SetFolder(const std::string& folder) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_folder = folder;
    }

    std::string FileName() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return OpenStore()->fileName().toStdString();
    }

private:
    // One short-lived QSettings per call: the worker thread reads the profile
    // too, and a QSettings object must not be shared between threads.
    std::unique_ptr<QSettings> OpenStore() {
        if (m_folder.empty())
            return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                               kOrganisation, kApplication);
        QString path =
            QString::fromStdString(m_folder) + "/" + kOrganisation + "/" + kApplication + ".conf";
        return std::make_unique<QSettings>(path, QSettings::IniFormat);
    }

    static QString Key(const char* pszSection, const char* pszEntry) {
        return QString::fromLatin1(pszSection) + "/" + QString::fromLatin1(pszEntry);
    }

    std::mutex m_mutex;
    std::string m_folder;
};

CSettingsStore g_settingsStore;

} // namespace

IProfileStore& UserProfileStore() {
    return g_settingsStore;
}

void SetProfileFolder(const std::string& folder) {
    g_settingsStore.SetFolder(folder);
}

std::string GetProfileFileName() {
    return g_settingsStore.FileName();
}
