#include "Profile.h"

#include <QSettings>
#include <QString>

#include <memory>
#include <mutex>

namespace {

const char kOrganisation[] = "Quillmark Communications";
const char kApplication[] = "OrvexToolKit";

std::mutex g_profileMutex;
std::string g_folder;

// One short-lived QSettings per call: the worker thread reads the profile
// too, and a QSettings object must not be shared between threads.
std::unique_ptr<QSettings> OpenStore() {
    if (g_folder.empty())
        return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                           kOrganisation, kApplication);
    QString path = QString::fromStdString(g_folder) + "/" + kOrganisation + "/" + kApplication + ".conf";
    return std::make_unique<QSettings>(path, QSettings::IniFormat);
}

QString Key(const char* pszSection, const char* pszEntry) {
    return QString::fromLatin1(pszSection) + "/" + QString::fromLatin1(pszEntry);
}

} // namespace

UINT GetProfileInt(const char* pszSection, const char* pszEntry, int nDefault) {
    std::lock_guard<std::mutex> lock(g_profileMutex);
    QVariant value = OpenStore()->value(Key(pszSection, pszEntry));
    if (!value.isValid())
        return static_cast<UINT>(nDefault);
    // Stored as DWORDs: 0..4294967295, and a signed value written by hand wraps.
    bool ok = false;
    const QString text = value.toString().trimmed();
    qulonglong u = text.toULongLong(&ok, 10);
    if (ok && u <= 0xFFFFFFFFull)
        return static_cast<UINT>(u);
    qlonglong s = text.toLongLong(&ok, 10);
    if (ok && s >= INT32_MIN && s < 0)
        return static_cast<UINT>(static_cast<int32_t>(s));
    return static_cast<UINT>(nDefault);
}

std::string GetProfileString(const char* pszSection, const char* pszEntry, const char* pszDefault) {
    std::lock_guard<std::mutex> lock(g_profileMutex);
    QVariant value = OpenStore()->value(Key(pszSection, pszEntry));
    if (!value.isValid())
        return pszDefault != nullptr ? pszDefault : "";
    return value.toString().toStdString();
}

BOOL WriteProfileInt(const char* pszSection, const char* pszEntry, int nValue) {
    std::lock_guard<std::mutex> lock(g_profileMutex);
    auto pStore = OpenStore();
    pStore->setValue(Key(pszSection, pszEntry), QString::number(static_cast<uint32_t>(nValue)));
    pStore->sync();
    return pStore->status() == QSettings::NoError;
}

BOOL WriteProfileString(const char* pszSection, const char* pszEntry, const char* pszValue) {
    std::lock_guard<std::mutex> lock(g_profileMutex);
    auto pStore = OpenStore();
    pStore->setValue(Key(pszSection, pszEntry), QString::fromStdString(pszValue ? pszValue : ""));
    pStore->sync();
    return pStore->status() == QSettings::NoError;
}

void SetProfileFolder(const std::string& folder) {
    std::lock_guard<std::mutex> lock(g_profileMutex);
    g_folder = folder;
}

std::string GetProfileFileName() {
    std::lock_guard<std::mutex> lock(g_profileMutex);
    return OpenStore()->fileName().toStdString();
}
