// The progress dialog: owner disabling, the percentage rule, the bar's
// wrap-around, keys, caption translations.
#include "Dialog.h"
#include "ProgressDlg.h"
#include "StringTable.h"

#include <QApplication>
#include <QLocale>
#include <QProgressBar>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

QProgressBar* Bar(const CProgressDlg& dlg) { return qobject_cast<QProgressBar*>(dlg.GetDlgItem(1002)); }

struct CStepCase {
    int nLower, nUpper, nStep;
    std::vector<std::string> percents; // after each StepIt
    std::vector<int> positions;        // the bar after each StepIt
};

} // namespace

TEST(ProgressDlgTest, StepIt_ShowsThePercentageByTheExactRule) {
    const CStepCase cases[] = {
        {0, 1, 1, {"100%"}, {1}},
        {0, 512, 128, {"25%", "50%", "75%", "100%"}, {128, 256, 384, 512}},
        {0, 100, 30, {"30%", "60%", "90%", "20%"}, {30, 60, 90, 20}},
        {100, 300, 100, {"50%", "100%", "50%"}, {200, 300, 200}},
    };
    for (const CStepCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.nUpper) + "/" + std::to_string(c.nStep));
        CProgressDlg dlg;
        ASSERT_TRUE(dlg.Create());
        dlg.SetStep(c.nStep);
        dlg.SetRange(c.nLower, c.nUpper);
        EXPECT_EQ(" 0 %", dlg.GetDlgItemText(1004));
        int nExpectedOld = c.nLower;
        for (size_t i = 0; i < c.percents.size(); ++i) {
            EXPECT_EQ(nExpectedOld, dlg.StepIt());
            EXPECT_EQ(c.percents[i], dlg.GetDlgItemText(1004)) << "step " << i;
            EXPECT_EQ(c.positions[i], Bar(dlg)->value()) << "step " << i;
            nExpectedOld = c.positions[i];
        }
        dlg.DestroyWindow();
    }
}

TEST(ProgressDlgTest, OwnerIsDisabledWhileTheWindowExists_AndReEnabledWhenTheObjectDies) {
    QWidget owner;
    owner.show();
    AfxSetMainWnd(&owner);
    {
        CProgressDlg reused;
        ASSERT_TRUE(reused.Create(nullptr)); // null parent: the main window owns it
        EXPECT_FALSE(owner.isEnabled());
        EXPECT_TRUE(reused.isEnabled());
        reused.DestroyWindow();
        EXPECT_TRUE(owner.isEnabled());
        // Bounds and step stay in the object for the next window.
        reused.SetRange(0, 512);
        reused.SetStep(128);
        ASSERT_TRUE(reused.Create(nullptr));
        EXPECT_EQ(512, Bar(reused)->maximum());
        EXPECT_EQ(0, Bar(reused)->value());
        EXPECT_EQ(0, reused.StepIt());
        EXPECT_EQ("25%", reused.GetDlgItemText(1004));
        reused.DestroyWindow();
    }
    auto pDlg = std::make_unique<CProgressDlg>();
    ASSERT_TRUE(pDlg->Create(&owner));
    EXPECT_FALSE(owner.isEnabled());
    pDlg.reset(); // window still open
    EXPECT_TRUE(owner.isEnabled());

    // An owner that was already disabled stays so.
    owner.setEnabled(false);
    CProgressDlg dlg;
    ASSERT_TRUE(dlg.Create(&owner));
    dlg.DestroyWindow();
    EXPECT_FALSE(owner.isEnabled());
    AfxSetMainWnd(nullptr);
}

TEST(ProgressDlgTest, EnterEscapeAndClose_ChangeNothing) {
    CProgressDlg dlg;
    ASSERT_TRUE(dlg.Create());
    EXPECT_FALSE(dlg.windowFlags() & Qt::WindowCloseButtonHint);
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
        QTest::keyClick(&dlg, key);
    dlg.close();
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_TRUE(dlg.HasWindow());
    dlg.DestroyWindow();
    EXPECT_FALSE(dlg.isVisible());
}

TEST(ProgressDlgTest, EmptyRangeAndNoWindow_AreHarmless) {
    CProgressDlg dlg;
    dlg.SetStatusText("no window");
    dlg.SetRange(0, 10);
    EXPECT_EQ(0, dlg.StepIt());
    EXPECT_FALSE(dlg.DestroyWindow());

    ASSERT_TRUE(dlg.Create());
    dlg.SetRange(5, 5);
    dlg.StepIt();
    EXPECT_EQ(" 0 %", dlg.GetDlgItemText(1004));
    dlg.SetStatusText("Loading data 128");
    EXPECT_EQ("Loading data 128", dlg.GetDlgItemText(1006));
    dlg.DestroyWindow();
}

TEST(ProgressDlgTest, Caption_IsString104InTheLocalesLanguage) {
    struct {
        const char* locale;
        const char* caption;
    } const cases[] = {{"en_US", "Wait..."}, {"zh_TW", "請稍後..."}, {"zh_CN", "请等待..."}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.locale);
        QLocale::setDefault(QLocale(QString::fromLatin1(c.locale)));
        InstallTranslator();
        CProgressDlg dlg;
        ASSERT_TRUE(dlg.Create());
        EXPECT_EQ(c.caption, dlg.windowTitle().toStdString());
        dlg.DestroyWindow();
    }
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_FALSE(InstallTranslator());
}
