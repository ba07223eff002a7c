#include "StringTable.h"

#include <QLocale>

#include <gtest/gtest.h>

namespace {

const char kEnglish[] = "Wait...";
const char kTraditional[] = "請稍後...";
const char kSimplified[] = "请等待...";

} // namespace

// The locale picks the language as Qt picked translation files: each UI
// language of the locale, then its shorter forms; nothing else falls back.
TEST(StringTableTest, LocaleChoosesTheLanguageOfString104) {
    struct {
        const char* locale;
        bool translated;
        const char* text;
    } const cases[] = {
        {"en_US", false, kEnglish},
        {"zh_TW", true, kTraditional},
        {"zh_CN", true, kSimplified},
        {"zh", true, kSimplified},
        {"zh_Hant", true, kTraditional},
        {"zh_Hans_TW", true, kSimplified},
        {"zh_Hant_CN", true, kTraditional},
        {"zh_HK", false, kEnglish},
        {"zh_SG", false, kEnglish},
        {"zh_MO", false, kEnglish},
        {"yue_HK", false, kEnglish},
        {"de_DE", false, kEnglish},
        {"C", false, kEnglish},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.locale);
        QLocale::setDefault(QLocale(QString::fromLatin1(c.locale)));
        EXPECT_EQ(c.translated, InstallTranslator());
        EXPECT_EQ(c.text, LoadStringResource(IDS_WAIT));
    }
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_FALSE(InstallTranslator());
}

TEST(StringTableTest, UnknownId_IsEmptyInEveryLanguage) {
    for (const char* locale : {"en_US", "zh_TW", "zh_CN"}) {
        SCOPED_TRACE(locale);
        QLocale::setDefault(QLocale(QString::fromLatin1(locale)));
        InstallTranslator();
        EXPECT_EQ("", LoadStringResource(105));
        EXPECT_EQ("", LoadStringResource(0));
    }
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    InstallTranslator();
}
