// Start-up and tear-down: WinSock, the link events, the modal main dialog.
#include "ToolApp.h"
#include "LinkEvents.h"
#include "MainDlg.h"
#include "ScriptedSeams.h"
#include "SocketApi.h"
#include "TempProfile.h"
#include "TraceCapture.h"
#include "WinSock.h"

#include <QApplication>
#include <QEvent>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <string>
#include <vector>

namespace {

// Watches every main dialog that is shown; closes it with Escape once it is
// up, noting what held while it was.
class CMainDlgWatcher : public QObject {
public:
    CMainDlgWatcher() { qApp->installEventFilter(this); }
    ~CMainDlgWatcher() override { qApp->removeEventFilter(this); }
    int m_nShown = 0;
    bool m_bEventsWhileOpen = false;
    bool m_bIsMainWnd = false;

protected:
    bool eventFilter(QObject* pObject, QEvent* pEvent) override {
        auto pDlg = dynamic_cast<CMainDlg*>(pObject);
        if (pDlg != nullptr && pEvent->type() == QEvent::Show) {
            ++m_nShown;
            m_bEventsWhileOpen = g_hLinkAckEvent != nullptr && g_hLinkDoneEvent != nullptr;
            m_bIsMainWnd = AfxGetMainWnd() == pDlg;
            QTimer::singleShot(0, pDlg, [pDlg] { QTest::keyClick(pDlg, Qt::Key_Escape); });
        }
        return false;
    }
};

} // namespace

TEST(ToolAppTest, InitInstance_RunsTheMainDialogBetweenStartUpAndTearDown) {
    CTempProfile profile;
    CScriptedSeams seams;
    CTraceCapture trace;
    CMainDlgWatcher watcher;
    CToolApp app;
    EXPECT_EQ(FALSE, app.InitInstance());
    EXPECT_EQ(1, watcher.m_nShown);
    EXPECT_TRUE(watcher.m_bEventsWhileOpen);
    EXPECT_TRUE(watcher.m_bIsMainWnd);
    EXPECT_EQ(nullptr, g_hLinkAckEvent);
    EXPECT_EQ(nullptr, g_hLinkDoneEvent);
    EXPECT_EQ(nullptr, AfxGetMainWnd());
    EXPECT_EQ((std::vector<std::string>{"WinSock2 Init\n", "WinSock2 Free\n"}), trace.Lines());
    EXPECT_TRUE(seams.Messages().empty());
    EXPECT_EQ("", profile.Contents()) << "Escape saves nothing";
}

TEST(ToolAppTest, StartUpFailure_ShowsWinsockFailedAndOpensNoDialog) {
    CTempProfile profile;
    CScriptedSeams seams;
    CTraceCapture trace;
    CMainDlgWatcher watcher;
    CSocketApiHooks hooks;
    hooks.fnSocket = [](int, int, int) {
        errno = EAFNOSUPPORT;
        return -1;
    };
    SetSocketApiHooks(hooks);
    CToolApp app;
    const BOOL bResult = app.InitInstance();
    SetSocketApiHooks({});
    EXPECT_EQ(FALSE, bResult);
    EXPECT_EQ(0, watcher.m_nShown);
    ASSERT_EQ(1u, seams.Messages().size());
    EXPECT_EQ("Winsock 2.0 failed", seams.Messages()[0].text);
    EXPECT_EQ(MB_OK, seams.Messages()[0].nType);
    EXPECT_EQ(nullptr, g_hLinkAckEvent);
    EXPECT_EQ(std::vector<std::string>{"WinSock2 Free\n"}, trace.Lines());
}

TEST(ToolAppTest, WinSock2Init_IgnoresSigpipe) {
    std::signal(SIGPIPE, SIG_DFL);
    ASSERT_TRUE(WinSock2Init());
    struct sigaction action {};
    sigaction(SIGPIPE, nullptr, &action);
    EXPECT_EQ(SIG_IGN, action.sa_handler);
    WinSock2Free();
}
