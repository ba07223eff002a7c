// The Linux side of the string table: the table generated from Strings.rc,
// in the language chosen from Qt's idea of the locale.
#include "StringTable.h"
#include "StringTableData.h"

#include <QLocale>
#include <QString>

#include <cstring>

namespace {

// Chosen on the user-interface thread before any window opens.
std::string g_language = kSourceLanguage;

bool IsTranslation(const QString& language) {
    if (language == QLatin1String(kSourceLanguage))
        return false;
    for (int i = 0; i < g_nStringResources; ++i)
        if (language == QLatin1String(g_stringResources[i].pszLanguage))
            return true;
    return false;
}

} // namespace

std::string LoadStringResource(unsigned int nID) {
    const char* pszSource = nullptr;
    for (int i = 0; i < g_nStringResources; ++i) {
        const CStringResource& r = g_stringResources[i];
        if (r.nID != nID)
            continue;
        if (g_language == r.pszLanguage)
            return r.pszText;
        if (std::strcmp(r.pszLanguage, kSourceLanguage) == 0)
            pszSource = r.pszText;
    }
    return pszSource != nullptr ? pszSource : std::string();
}

bool InstallTranslator() {
    // The candidates and their order are those of QTranslator::load(QLocale,
    // ...), so a locale gets the language it got from translation files.
    const QStringList uiLanguages = QLocale().uiLanguages();
    for (QString name : uiLanguages) {
        name.replace(QLatin1Char('-'), QLatin1Char('_'));
        for (;;) {
            if (IsTranslation(name)) {
                g_language = name.toStdString();
                return true;
            }
            const qsizetype rightmost = name.lastIndexOf(QLatin1Char('_'));
            if (rightmost <= 0)
                break;
            name.truncate(rightmost);
        }
    }
    g_language = kSourceLanguage;
    return false;
}
