// The List Phones dialog inside a tool namespace, with the phone simulator
// answering from the phone namespace.
#include "ListPhonesDlg.h"
#include "MainDlg.h"
#include "Netns.h"
#include "Profile.h"
#include "TempProfile.h"

#include <QApplication>
#include <QHeaderView>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {
constexpr int kSimReadyMs = 10000;
constexpr int kRowsMs = 5000;

// Delivers posted messages and Qt events until done() or nMs pass.
bool PumpUntil(const std::function<bool()>& done, int nMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// The List Phones dialog that the main dialog runs, while it is open.
CListPhonesDlg* OpenListPhonesDlg() {
    for (QWidget* pWidget : QApplication::topLevelWidgets())
        if (auto* pDlg = dynamic_cast<CListPhonesDlg*>(pWidget);
            pDlg != nullptr && pDlg->isVisible())
            return pDlg;
    return nullptr;
}

std::vector<std::string> Column(const CPhoneRows& rows, size_t nColumn) {
    std::vector<std::string> out;
    for (int i = 0; i < rows.GetItemCount(); ++i)
        out.push_back(rows.Row(i)[nColumn]);
    return out;
}

// The dialog's sockets are made on this (the GUI) thread and the threads it
// starts, so all of them live in the tool namespace.
class ListPhonesDlgTest : public CToolNetnsTest {
protected:
    void TearDown() override {
        m_pSim.reset();
        for (const std::string& file : m_files)
            unlink(file.c_str());
        CToolNetnsTest::TearDown();
    }
    // Starts the simulator with these phones (lines of a phones file).
    void StartSim(const std::string& phones) {
        const std::string file = testing::TempDir() + "phones-" + std::to_string(getpid()) + "-" +
                                 std::to_string(m_files.size());
        std::ofstream(file) << phones;
        m_files.push_back(file);
        m_pSim = m_pNetns->Spawn(CNetns::Phone,
                                 {getenv("PHONE_SIM"), "--no-tcp", "--discovery", "--mcast-if",
                                  CNetns::kPhoneAddress, "--phones-file", file, "--verbose"});
        ASSERT_TRUE(m_pSim);
        ASSERT_TRUE(m_pSim->WaitForOutput("phone-sim: discovery on", kSimReadyMs))
            << m_pSim->Output();
    }

    // What the simulator has said so far, for a failure message.
    std::string SimOutput() {
        m_pSim->WaitForOutput("\n\n\n", 100);
        return m_pSim->Output();
    }

    std::unique_ptr<CChildProcess> m_pSim;
    std::vector<std::string> m_files;
};

const char* const kThreePhones = "192.168.1.9   00:09:45:10:ab:01 \"Desk v1\"   3009 0 1 1\n"
                                 "192.168.0.20  00:09:45:10:ab:cd \"VoIP v2.3\" 2001 2 1 0\n"
                                 "192.168.1.10  00:09:45:10:ab:02 \"Desk v1\"   3010 4 2 0\n";
} // namespace

TEST_F(ListPhonesDlgTest, ThreePhones_GiveThreeRowsInTextOrder) {
    StartSim(kThreePhones);
    CListPhonesDlg dlg;
    ASSERT_TRUE(dlg.Create());
    ASSERT_TRUE(PumpUntil([&] { return dlg.m_PhoneRows.GetItemCount() == 3; }, kRowsMs))
        << SimOutput();
    EXPECT_EQ((std::vector<std::string>{"192.168.0.20", "192.168.1.10", "192.168.1.9"}),
              Column(dlg.m_PhoneRows, 0));
    EXPECT_EQ((PhoneTexts{"192.168.0.20", "00-09-45-10-ab-cd", "VoIP v2.3", "pppoe", "2001", "Yes",
                          "No"}),
              dlg.m_PhoneRows.Row(0));
    EXPECT_EQ((PhoneTexts{"192.168.1.10", "00-09-45-10-ab-02", "Desk v1", "", "3010", "No", "No"}),
              dlg.m_PhoneRows.Row(1));
    // What the user sees is the view over those rows.
    QAbstractItemModel* pShown = dlg.m_PhoneList.model();
    ASSERT_EQ(3, pShown->rowCount());
    EXPECT_EQ("192.168.1.9", pShown->index(2, 0).data().toString());
    EXPECT_EQ("static", pShown->index(2, 3).data().toString());
    dlg.DestroyWindow();
}

TEST_F(ListPhonesDlgTest, Window_HasItsCaptionColumnsAndListStyle) {
    StartSim(kThreePhones);
    CListPhonesDlg dlg;
    ASSERT_TRUE(dlg.Create());
    EXPECT_EQ("List Phones", dlg.windowTitle());
    EXPECT_EQ(&dlg.m_PhoneList, dlg.GetDlgItem(1230));
    const std::vector<std::pair<QString, int>> columns = {
        {"IP Address", 130}, {"Mac Address", 140},  {"Type & Version", 180},
        {"IP Type", 70},     {"Phone Number", 140}, {"Log on", 60},
        {"Busy", 60}};
    QHeaderView* pHeader = dlg.m_PhoneList.horizontalHeader();
    ASSERT_EQ(7, pHeader->count());
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(columns[i].first,
                  dlg.m_PhoneList.model()->headerData(i, Qt::Horizontal).toString());
        EXPECT_EQ(columns[i].second, pHeader->sectionSize(i)) << i;
        EXPECT_EQ(Qt::AlignCenter, dlg.m_PhoneList.model()
                                       ->headerData(i, Qt::Horizontal, Qt::TextAlignmentRole)
                                       .value<Qt::Alignment>());
    }
    EXPECT_TRUE(dlg.m_PhoneList.showGrid());
    EXPECT_EQ(QAbstractItemView::SelectRows, dlg.m_PhoneList.selectionBehavior());
    EXPECT_EQ(QAbstractItemView::SingleSelection, dlg.m_PhoneList.selectionMode());
    auto texts = [&dlg](int nID) {
        auto* pButton = qobject_cast<QPushButton*>(dlg.GetDlgItem(nID));
        return pButton != nullptr ? pButton->text() : QString();
    };
    EXPECT_EQ("OK", texts(1));
    EXPECT_EQ("Refresh", texts(3));
    EXPECT_EQ("Cancel", texts(2));
    dlg.DestroyWindow();
}

TEST_F(ListPhonesDlgTest, Refresh_EmptiesTheListAndProbesAgain) {
    StartSim(kThreePhones);
    CListPhonesDlg dlg;
    ASSERT_TRUE(dlg.Create());
    ASSERT_TRUE(PumpUntil([&] { return dlg.m_PhoneRows.GetItemCount() == 3; }, kRowsMs))
        << SimOutput();

    // With no phone left, Refresh leaves the list empty...
    m_pSim->Stop();
    qobject_cast<QPushButton*>(dlg.GetDlgItem(3))->click();
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(0, dlg.m_PhoneRows.GetItemCount());
    EXPECT_EQ(0, dlg.m_PhoneList.GetItemCount()) << "the list shows the rows";

    // ...and with two phones answering, it lists those two.
    StartSim("10.0.0.5 02:00:00:00:00:05 \"A\" 5 1 1 0\n9.1.1.1 02:00:00:00:00:09 \"B\" 9 1 0 0\n");
    qobject_cast<QPushButton*>(dlg.GetDlgItem(3))->click();
    ASSERT_TRUE(PumpUntil([&] { return dlg.m_PhoneRows.GetItemCount() == 2; }, kRowsMs));
    EXPECT_EQ((std::vector<std::string>{"10.0.0.5", "9.1.1.1"}), Column(dlg.m_PhoneRows, 0));
    ASSERT_EQ(2, dlg.m_PhoneList.GetItemCount());
    EXPECT_EQ("9.1.1.1", dlg.m_PhoneList.GetItemText(1, 0));
    EXPECT_EQ("B", dlg.m_PhoneList.GetItemText(1, 2));

    // A probe without Refresh: a listed phone's new answer changes its row.
    m_pSim->Stop();
    StartSim("9.1.1.1 02:00:00:00:00:09 \"B v2\" 9 1 0 0\n");
    dlg.SendProbe();
    ASSERT_TRUE(PumpUntil([&] { return dlg.m_PhoneRows.Row(1)[2] == "B v2"; }, kRowsMs));
    EXPECT_EQ(2, dlg.m_PhoneList.GetItemCount());
    EXPECT_EQ("B v2", dlg.m_PhoneList.GetItemText(1, 2));
    dlg.DestroyWindow();
}

// Freed, not leaked: the sanitizer build's leak check watches that.
TEST_F(ListPhonesDlgTest, RepliesQueuedAtDestruction_AreFreedNotDelivered) {
    StartSim(kThreePhones);
    CListPhonesDlg dlg;
    ASSERT_TRUE(dlg.Create());
    // The replies are queued for the window, not yet delivered.
    ASSERT_TRUE(m_pSim->WaitForOutput("sent 3 replies", kSimReadyMs));
    dlg.DestroyWindow();
    PumpUntil([] { return false; }, 100);
    EXPECT_EQ(0, dlg.m_PhoneRows.GetItemCount());
}

TEST_F(ListPhonesDlgTest, MainDialog_OkSetsTheFieldAndTheProfileWaitsForTheNextSave) {
    CTempProfile profile;
    StartSim(kThreePhones);
    CMainDlg main;
    ASSERT_TRUE(main.Create());
    const DWORD dwTyped = 0x0A010101; // 10.1.1.1, typed but not yet saved
    main.m_IPAddressCtrl.SetAddress(dwTyped);

    // Runs List Phones, picking nRow (or none) and pressing nButton.
    auto listPhones = [&](int nRow, int nButton) {
        QTimer poll;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kRowsMs);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            CListPhonesDlg* pDlg = OpenListPhonesDlg();
            if (pDlg == nullptr || (pDlg->m_PhoneRows.GetItemCount() < 3 &&
                                    std::chrono::steady_clock::now() < deadline))
                return;
            poll.stop();
            EXPECT_EQ(3, pDlg->m_PhoneRows.GetItemCount());
            if (nRow >= 0)
                pDlg->m_PhoneList.selectRow(nRow);
            qobject_cast<QPushButton*>(pDlg->GetDlgItem(nButton))->click();
        });
        poll.start(20);
        main.OnListPhones();
    };

    listPhones(1, IDCANCEL);
    EXPECT_EQ("10.1.1.1", main.m_IPAddressCtrl.Text());
    EXPECT_EQ(dwTyped, GetProfileInt("Peer", "IPAddress", 0)) << "saved before the dialog opened";

    listPhones(-1, IDOK); // OK without a row keeps the field
    EXPECT_EQ("10.1.1.1", main.m_IPAddressCtrl.Text());

    listPhones(1, IDOK);
    EXPECT_EQ("192.168.1.10", main.m_IPAddressCtrl.Text());
    EXPECT_EQ(dwTyped, GetProfileInt("Peer", "IPAddress", 0));
    main.SaveProfile();
    EXPECT_EQ(0xC0A8010Au, GetProfileInt("Peer", "IPAddress", 0));
    main.DestroyWindow();
}
