#include "MessageQueue.h"
#include "MsgWnd.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {
constexpr UINT WM_TEST = WM_USER + 7;

class CGuiWnd : public CMsgWnd {
public:
    std::vector<WPARAM> received;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM) override {
        if (message == WM_TEST)
            received.push_back(wParam);
        return 0;
    }
};
} // namespace

// Windows on the GUI thread are served by Qt's own loop, so nested loops
// (modal dialogs, message boxes) deliver socket notifications too.
TEST(QtForwarding, WindowOnGuiThread_ReceivesPostsFromOtherThreadsInOrderThroughQtLoop) {
    CGuiWnd wnd;
    ASSERT_TRUE(wnd.Create());
    const HWND hWnd = wnd.GetSafeHwnd();
    std::thread poster([hWnd] {
        for (WPARAM i = 0; i < 200; ++i)
            PostMessage(hWnd, WM_TEST, i, 0);
    });
    poster.join();
    QEventLoop loop;
    QTimer::singleShot(2000, &loop, &QEventLoop::quit);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (wnd.received.size() == 200)
            loop.quit();
    });
    poll.start(5);
    loop.exec();
    ASSERT_EQ(wnd.received.size(), 200u);
    for (WPARAM i = 0; i < 200; ++i)
        EXPECT_EQ(wnd.received[i], i);
}
