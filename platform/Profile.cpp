#include "Profile.h"

#include "ProfileStore.h"

#include <QSettings>
#include <QString>

#include <atomic>
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
std::atomic<IProfileStore*> g_pStore{&g_settingsStore};

} // namespace

UINT ParseProfileInt(const std::string& text, int nDefault) {
    const QString trimmed = QString::fromStdString(text).trimmed();
    // Stored as DWORDs: 0..4294967295, and a signed value written by hand wraps.
    bool ok = false;
    qulonglong u = trimmed.toULongLong(&ok, 10);
    if (ok && u <= 0xFFFFFFFFull)
        return static_cast<UINT>(u);
    qlonglong s = trimmed.toLongLong(&ok, 10);
    if (ok && s >= INT32_MIN && s < 0)
        return static_cast<UINT>(static_cast<int32_t>(s));
    return static_cast<UINT>(nDefault);
}

void SetProfileStore(IProfileStore* pStore) {
    g_pStore = pStore != nullptr ? pStore : &g_settingsStore;
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

void SetProfileFolder(const std::string& folder) {
    g_settingsStore.SetFolder(folder);
}

std::string GetProfileFileName() {
    return g_settingsStore.FileName();
}
