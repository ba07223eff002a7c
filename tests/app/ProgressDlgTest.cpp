// The progress dialog: owner disabling, the percentage rule, the bar's
// wrap-around, keys, caption translations.
#include "ProgressDlg.h"
#include "Dialog.h"
#include "StringTable.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

QProgressBar* Bar(const CProgressDlg& dlg) {
    return qobject_cast<QProgressBar*>(dlg.GetDlgItem(1002));
}

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

// Records each state a label is painted in, and the layout requests its
// window receives.
class CPaintRecorder : public QObject {
public:
    explicit CPaintRecorder(QLabel* pLabel) : m_pLabel(pLabel) {
        pLabel->installEventFilter(this);
        pLabel->window()->installEventFilter(this);
    }
    bool eventFilter(QObject* pObject, QEvent* pEvent) override {
        // A state painted again at once (Qt may repaint a window twice as
        // its updates come back on) counts once.
        if (pObject == m_pLabel && pEvent->type() == QEvent::Paint &&
            (m_painted.empty() || m_painted.back() != m_pLabel->text().toStdString()))
            m_painted.push_back(m_pLabel->text().toStdString());
        if (pEvent->type() == QEvent::LayoutRequest)
            ++m_nLayoutRequests;
        return false;
    }
    std::vector<std::string> m_painted;
    int m_nLayoutRequests = 0;

private:
    QLabel* m_pLabel;
};

TEST(ProgressDlgTest, AnUploadsStream_IsPaintedAtMostOnceAFrame_AndItsLastStateShows) {
    constexpr int kBlocks = 3000;
    CProgressDlg dlg;
    for (int nRound = 0; nRound < 2; ++nRound) {
        SCOPED_TRACE(nRound == 0 ? "first window" : "window made again");
        ASSERT_TRUE(dlg.Create());
        dlg.SetStep(128);
        dlg.SetRange(0, kBlocks * 128);
        auto* pStatus = qobject_cast<QLabel*>(dlg.GetDlgItem(1006));
        ASSERT_NE(pStatus, nullptr);
        CPaintRecorder recorder(pStatus);
        QElapsedTimer timer;
        timer.start();
        std::string last;
        for (int i = 0; i < kBlocks; ++i) {
            last = "Loading data " + std::to_string(i * 128);
            dlg.SetStatusText(last);
            // The control holds each text at once, painted or not.
            ASSERT_EQ(last, dlg.GetDlgItemText(1006));
            dlg.StepIt();
        }
        const qint64 nElapsedMs = timer.elapsed();
        // A frame is 16 ms (15 allows for the rounding of both clocks); the first
        // change and the frame the loop ends in add two.
        EXPECT_LE(static_cast<qint64>(recorder.m_painted.size()), nElapsedMs / 15 + 2);
        EXPECT_EQ(recorder.m_nLayoutRequests, 0);
        // Any event loop (here: a wait, as a message box runs one) paints
        // what the last frame held back.
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return !recorder.m_painted.empty() && recorder.m_painted.back() == last; },
            2000));
        EXPECT_EQ("100%", dlg.GetDlgItemText(1004));
        if (nRound == 0) {
            // Ended while a change is held: the next window paints at once.
            dlg.SetStatusText("held");
            dlg.SetStatusText("held again");
        }
        dlg.DestroyWindow();
    }
}

TEST(ProgressDlgTest, OwnerIsDisabledWhileTheWindowExists_AndReEnabledWhenTheObjectDies) {
    CWidgetWnd owner; // a window that is no dialog
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
