// gen-resources.py reads only what it understands of the resource scripts:
// a statement the Windows build would compile but the generator skipped
// would make the Linux tables drift, so anything else stops the build.
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray ReadSource(const char* name) {
    QFile f(QStringLiteral(ORVEX_RES_DIR "/") + QLatin1String(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void Write(const QString& path, const QByteArray& data) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

} // namespace

TEST(GenResourcesTest, RefusesWhatItDoesNotUnderstand) {
    const QByteArray dialogs = ReadSource("Dialogs.rc");
    const QByteArray strings = ReadSource("Strings.rc");
    ASSERT_TRUE(dialogs.contains("BS_DEFPUSHBUTTON | WS_TABSTOP"));
    ASSERT_TRUE(strings.contains("SUBLANG_CHINESE_SIMPLIFIED"));
    struct {
        const char* what;
        const char* file; // the script changed
        const char* from;
        const char* to;
        const char* error; // what the message names; empty: accepted
    } const cases[] = {
        {"as written", "Dialogs.rc", "", "", ""},
        {"unknown style", "Dialogs.rc", "BS_DEFPUSHBUTTON | WS_TABSTOP",
         "BS_DEFPUSHBUTTON | WS_TABSTOPP", "unknown value 'WS_TABSTOPP'"},
        {"control shorthand", "Dialogs.rc", "    CONTROL \"Refresh\", 3, \"Button\",",
         "    PUSHBUTTON \"Refresh\", 3,", "not understood"},
        {"dialog not ended", "Dialogs.rc", "289, 220, 50, 14\nEND", "289, 220, 50, 14\n",
         "dialog 136 not ended"},
        {"unknown language", "Strings.rc", "SUBLANG_CHINESE_SIMPLIFIED", "SUBLANG_CHINESE_HONGKONG",
         "unknown language"},
        {"text not read as UTF-8", "Strings.rc", "#pragma code_page(65001)", "",
         "text before #pragma code_page(65001)"},
        {"string twice", "Strings.rc", "    104 \"Wait...\"",
         "    104 \"Wait...\"\n    104 \"Wait\"", "string 104 twice in en_US"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        QByteArray changed = QByteArray(c.file) == "Dialogs.rc" ? dialogs : strings;
        if (*c.from != '\0') {
            ASSERT_TRUE(changed.contains(c.from));
            changed.replace(c.from, c.to);
        }
        Write(dir.filePath("Dialogs.rc"), QByteArray(c.file) == "Dialogs.rc" ? changed : dialogs);
        Write(dir.filePath("Strings.rc"), QByteArray(c.file) == "Strings.rc" ? changed : strings);

        QProcess gen;
        gen.start(QStringLiteral(ORVEX_PYTHON),
                  {QStringLiteral(ORVEX_GEN_RESOURCES), dir.filePath("Dialogs.rc"),
                   dir.filePath("Strings.rc"), dir.filePath("out")});
        ASSERT_TRUE(gen.waitForFinished(20000));
        const QByteArray error = gen.readAllStandardError();
        if (*c.error == '\0') {
            EXPECT_EQ(0, gen.exitCode()) << error.constData();
            EXPECT_TRUE(QFile::exists(dir.filePath("out/DialogTemplates.cpp")));
            EXPECT_TRUE(QFile::exists(dir.filePath("out/StringTableData.cpp")));
        } else {
            EXPECT_NE(0, gen.exitCode());
            EXPECT_TRUE(error.contains(c.error)) << error.constData();
            EXPECT_FALSE(QFile::exists(dir.filePath("out")));
        }
    }
}
