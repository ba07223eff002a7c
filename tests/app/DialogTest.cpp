// The dialog base: template layout, key routing, modal and modeless life,
// posted messages, data exchange.
#include "Dialog.h"
#include "DialogTemplates.h"
#include "IPAddressCtrl.h"
#include "MessageQueue.h"
#include "ScriptedSeams.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

// Records what the dialog routes where.
class CProbeDlg : public CDialog {
public:
    explicit CProbeDlg(UINT nID) : CDialog(nID) {}
    std::vector<int> m_commands; // OnCommand ids; 1 and 2 for OnOK/OnCancel
    std::vector<UINT> m_messages;
    int m_nValue = 0;
    bool m_bEndOnCancel = true;

protected:
    void OnOK() override {
        m_commands.push_back(IDOK);
        CDialog::OnOK();
    }
    void OnCancel() override {
        m_commands.push_back(IDCANCEL);
        if (m_bEndOnCancel)
            CDialog::OnCancel();
    }
    void OnCommand(int nID) override { m_commands.push_back(nID); }
    void DoDataExchange(CDataExchange* pDX) override { DDV_MinMaxInt(pDX, m_nValue, 0, 640000); }

public:
    LRESULT WindowProc(UINT message, WPARAM, LPARAM) override {
        m_messages.push_back(message);
        return 0;
    }
};

} // namespace

TEST(DialogTest, Layout_MapsDialogUnitsThroughTheFontsBaseUnits) {
    CProbeDlg dlg(IDD_MAIN_DIALOG);
    ASSERT_TRUE(dlg.Create());
    const QSize base = dlg.GetBaseUnits();
    ASSERT_GT(base.width(), 0);
    ASSERT_GT(base.height(), 0);
    EXPECT_EQ(QSize((162 * base.width() + 2) / 4, (242 * base.height() + 4) / 8), dlg.size());
    // Update Program: 40, 62, 74, 19 dialog units.
    const QRect button = dlg.GetDlgItem(1055)->geometry();
    EXPECT_EQ((40 * base.width() + 2) / 4, button.x());
    EXPECT_EQ((62 * base.height() + 4) / 8, button.y());
    EXPECT_EQ((114 * base.width() + 2) / 4 - (40 * base.width() + 2) / 4, button.width());
    dlg.DestroyWindow();
}

TEST(DialogTest, Controls_AreMadeFromTheTemplateClasses) {
    CProbeDlg main(IDD_MAIN_DIALOG);
    ASSERT_TRUE(main.Create());
    EXPECT_EQ("Orvex Tool Kit", main.windowTitle().toStdString());
    EXPECT_NE(nullptr, qobject_cast<CIPAddressCtrl*>(main.GetDlgItem(1010)));
    EXPECT_EQ("Quit", main.GetDlgItemText(IDCANCEL));
    EXPECT_EQ("List Phones", main.GetDlgItemText(1066));
    EXPECT_EQ(nullptr, main.GetDlgItem(IDOK));
    main.DestroyWindow();
    EXPECT_EQ(nullptr, main.GetDlgItem(1055));

    CProbeDlg list(IDD_LIST_PHONES);
    ASSERT_TRUE(list.Create());
    auto pList = qobject_cast<QTreeWidget*>(list.GetDlgItem(1230));
    ASSERT_NE(nullptr, pList);
    EXPECT_EQ(QAbstractItemView::SingleSelection, pList->selectionMode());
    EXPECT_TRUE(pList->isSortingEnabled());
    EXPECT_TRUE(qobject_cast<QPushButton*>(list.GetDlgItem(IDOK))->isDefault());
    list.DestroyWindow();
}

TEST(DialogTest, TabOrder_FollowsTheTemplateAndFocusStartsOnTheFirstStop) {
    CProbeDlg dlg(IDD_MAIN_DIALOG);
    ASSERT_TRUE(dlg.Create());
    QApplication::setActiveWindow(&dlg);
    EXPECT_EQ(dlg.GetDlgItem(1055), dlg.focusWidget());
    // Tab: 1055, 1052, Quit, the address field (one stop), 1066, back to 1055.
    std::vector<QWidget*> order;
    for (int i = 0; i < 5; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order.push_back(QApplication::focusWidget());
    }
    auto pAddress = static_cast<CIPAddressCtrl*>(dlg.GetDlgItem(1010));
    EXPECT_EQ(dlg.GetDlgItem(1052), order[0]);
    EXPECT_EQ(dlg.GetDlgItem(IDCANCEL), order[1]);
    EXPECT_EQ(pAddress->Field(0), order[2]);
    EXPECT_EQ(dlg.GetDlgItem(1066), order[3]);
    EXPECT_EQ(dlg.GetDlgItem(1055), order[4]);
    dlg.DestroyWindow();
}

struct CKeyCase {
    const char* name;
    int nFocusID; // control with the focus, 0 for none
    int key;
    std::vector<int> expected;
};

TEST(DialogTest, Keys_RouteAsTheDialogManagerDoes) {
    const CKeyCase cases[] = {
        {"Escape", 1055, Qt::Key_Escape, {IDCANCEL}},
        {"EnterOnPushButton", 1052, Qt::Key_Return, {1052}},
        {"EnterInAddressField", 1010, Qt::Key_Return, {IDOK}},
        {"KeypadEnterInAddressField", 1010, Qt::Key_Enter, {IDOK}},
        {"SpaceOnPushButton", 1066, Qt::Key_Space, {1066}},
    };
    CScriptedSeams seams;
    for (const CKeyCase& c : cases) {
        SCOPED_TRACE(c.name);
        CProbeDlg dlg(IDD_MAIN_DIALOG);
        dlg.m_bEndOnCancel = false;
        ASSERT_TRUE(dlg.Create());
        QApplication::setActiveWindow(&dlg);
        QWidget* pFocus = dlg.GetDlgItem(c.nFocusID);
        if (auto pAddress = qobject_cast<CIPAddressCtrl*>(pFocus))
            pFocus = pAddress->Field(2);
        pFocus->setFocus();
        QTest::keyClick(pFocus, static_cast<Qt::Key>(c.key));
        if (c.key == Qt::Key_Space)
            QTest::keyRelease(pFocus, Qt::Key_Space);
        EXPECT_EQ(c.expected, dlg.m_commands);
        dlg.DestroyWindow();
    }
}

TEST(DialogTest, CloseBox_IsCancel_AndTheWindowStaysUntilEnded) {
    CProbeDlg dlg(IDD_MAIN_DIALOG);
    dlg.m_bEndOnCancel = false;
    ASSERT_TRUE(dlg.Create());
    dlg.close();
    EXPECT_EQ(std::vector<int>{IDCANCEL}, dlg.m_commands);
    EXPECT_TRUE(dlg.isVisible());
    dlg.DestroyWindow();
}

TEST(DialogTest, DoModal_ReturnsTheEndResultAndDeliversMessagesPostedFromAnotherThread) {
    CProbeDlg dlg(IDD_LIST_PHONES);
    bool bHadWindow = false;
    QTimer::singleShot(0, [&] {
        bHadWindow = dlg.HasWindow() && dlg.isVisible();
        const HWND hWnd = dlg.GetSafeHwnd();
        std::thread([hWnd] { PostMessage(hWnd, WM_USER + 7, 0, 0); }).join();
        // Delivered while this handler pumps, as a socket notice is while a
        // procedure steps its progress window.
        [[maybe_unused]] const bool bDelivered =
            QTest::qWaitFor([&] { return !dlg.m_messages.empty(); }, 2000);
        QTest::mouseClick(dlg.GetDlgItem(3), Qt::LeftButton);
        QTest::mouseClick(dlg.GetDlgItem(IDOK), Qt::LeftButton);
    });
    EXPECT_EQ(IDOK, dlg.DoModal());
    EXPECT_TRUE(bHadWindow);
    EXPECT_EQ(std::vector<UINT>{WM_USER + 7}, dlg.m_messages);
    EXPECT_EQ((std::vector<int>{3, IDOK}), dlg.m_commands);
    EXPECT_FALSE(dlg.HasWindow());
    EXPECT_EQ(0u, dlg.GetSafeHwnd());
}
