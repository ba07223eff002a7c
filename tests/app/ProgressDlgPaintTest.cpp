// What the progress window puts on a real display while the UI thread is
// blocked after a step: the procedures wait for the phone and pause for the
// erase without pumping, so what is not on the display by then stays unseen.
#include "DisplayGrab.h"
#include "Event.h"
#include "ProgressDlg.h"
#include "Seams.h"

#include <QGuiApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace {

constexpr int IDC_PROGRESS = 1002;
constexpr int IDC_PERCENT = 1004;
constexpr int IDC_STATUS = 1006;

// The pause grabs the display from a thread of its own and returns at once.
class CGrabbingSeams : public IUserSeams {
public:
    explicit CGrabbingSeams(std::function<void()> fnGrab) : m_fnGrab(std::move(fnGrab)) {
        SetUserSeams(this);
    }
    ~CGrabbingSeams() override { SetUserSeams(nullptr); }
    int MessageBox(const std::string&, UINT) override { return IDOK; }
    bool OpenFile(const COpenFileRequest&, std::string*) override { return false; }
    void Sleep(DWORD) override { std::thread(m_fnGrab).join(); }

private:
    std::function<void()> m_fnGrab;
};

// The window once everything pending is painted and on the display.
QImage Settled(CProgressDlg& dlg) {
    for (int i = 0; i < 3; ++i) {
        QTest::qWait(40);
        QGuiApplication::sync();
    }
    return GrabFromDisplay(dlg.winId());
}

QImage Control(const QImage& window, CProgressDlg& dlg, int nId) {
    QWidget* pControl = dlg.GetDlgItem(nId);
    return window.copy(QRect(pControl->mapTo(&dlg, QPoint(0, 0)), pControl->size()));
}

struct CBlockCase {
    const char* pszName;
    int nUpper, nStep, nSteps;
    bool bWaitForPhone; // else the erase pause
};

} // namespace

TEST(ProgressDlgPaintTest, LastStep_IsOnTheDisplayWhileTheUiThreadBlocks) {
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        GTEST_SKIP() << "needs an X display; ctest runs it under Xvfb";
    const CBlockCase cases[] = {
        {"erase: one step, then the 5 s pause", 1, 1, 1, false},
        {"upload: three quick blocks, then a slow acknowledgement", 512, 128, 3, true},
    };
    for (const CBlockCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        CProgressDlg dlg;
        ASSERT_TRUE(dlg.Create(nullptr));
        dlg.SetStep(c.nStep);
        dlg.SetRange(0, c.nUpper);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
        const QImage before = Settled(dlg);
        ASSERT_FALSE(before.isNull());

        QImage during;
        const auto grab = [&] { during = GrabFromDisplay(dlg.winId()); };
        for (int i = 0; i < c.nSteps; ++i) {
            dlg.SetStatusText((c.bWaitForPhone ? "Loading data " : "Erase sector ") +
                              std::to_string(i * c.nStep));
            dlg.StepIt();
        }
        if (c.bWaitForPhone) {
            // The acknowledgement comes once the grab is taken, well after
            // the wait has begun.
            HEVENT hAck = CreateEventA(false, false);
            std::thread phone([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                grab();
                SetEvent(hAck);
            });
            EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hAck, 10000));
            phone.join();
            CloseHandle(hAck);
        } else {
            CGrabbingSeams seams(grab);
            Sleep(5000);
        }
        const QImage after = Settled(dlg);
        ASSERT_FALSE(during.isNull());
        for (int nId : {IDC_STATUS, IDC_PROGRESS, IDC_PERCENT}) {
            SCOPED_TRACE(nId);
            EXPECT_TRUE(Control(before, dlg, nId) != Control(after, dlg, nId))
                << "the steps change every control";
            EXPECT_TRUE(Control(after, dlg, nId) == Control(during, dlg, nId))
                << "the display lags the last step";
        }
        dlg.DestroyWindow();
    }
}
