// The main dialog: the profile it loads at open and writes with SaveProfile,
// Quit and Enter, and the command buttons.
#include "IPAddressCtrl.h"
#include "MainDlg.h"
#include "Profile.h"
#include "ScriptedSeams.h"
#include "TempProfile.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

// Every key the profile file holds, "Section/Key" -> text.
std::map<std::string, std::string> ProfileKeys() {
    QSettings store(QString::fromStdString(GetProfileFileName()), QSettings::IniFormat);
    std::map<std::string, std::string> keys;
    for (const QString& key : store.allKeys())
        keys[key.toStdString()] = store.value(key).toString().toStdString();
    return keys;
}

class MainDlgTest : public ::testing::Test {
protected:
    CTempProfile m_profile;
    CScriptedSeams m_seams;
};

} // namespace

TEST_F(MainDlgTest, FirstSave_OnEmptyProfile_WritesEveryKeyWithItsDefault) {
    CMainDlg dlg;
    ASSERT_TRUE(dlg.Create());
    EXPECT_EQ("192.168.1.1", dlg.m_IPAddressCtrl.Text().toStdString());
    dlg.SaveProfile();
    const std::map<std::string, std::string> expected = {
        {"Comm/Type", "1"},           {"Rs232/Port", "COM1"},           {"Peer/IPAddress", "3232235777"},
        {"UdpAudio/Realtime", "1"},   {"UdpAudio/SaveFile", "0"},       {"UdpAudio/RealtimeOut", "1"},
        {"UdpAudio/NoAcm", "1"},      {"UdpAudio/UseVAD", "1"},         {"UdpAudio/UseHighRate", "1"},
        {"Sdram/SaveLength", "0"},    {"UdpDebug/IPOnly", "0"},
    };
    EXPECT_EQ(expected, ProfileKeys()); // no Peer/Port, no SrcName
    EXPECT_TRUE(m_seams.Messages().empty());
    dlg.DestroyWindow();
}

TEST_F(MainDlgTest, Open_LoadsTheProfileIntoTheFieldAndTheMembers) {
    WriteProfileInt("Peer", "IPAddress", static_cast<int>(0x0A000005));
    WriteProfileInt("Comm", "Type", 0);
    WriteProfileInt("UdpAudio", "SaveFile", 1);
    WriteProfileInt("Sdram", "SaveLength", 4096);
    CMainDlg dlg;
    ASSERT_TRUE(dlg.Create());
    EXPECT_EQ("10.0.0.5", dlg.m_IPAddressCtrl.Text().toStdString());
    EXPECT_EQ(dlg.GetDlgItem(1010), &dlg.m_IPAddressCtrl);
    EXPECT_EQ(0, dlg.m_nCommType);
    EXPECT_EQ(1, dlg.m_bSaveFile);
    EXPECT_EQ(4096, dlg.m_nSaveLength);
    EXPECT_EQ(0, dlg.m_nComPort);
    EXPECT_EQ("Orvex Tool Kit", dlg.windowTitle().toStdString());
    EXPECT_FALSE(dlg.windowIcon().isNull());
    EXPECT_EQ(dlg.GetDlgItem(1055), dlg.focusWidget());
    dlg.DestroyWindow();
}

struct CAddressCase {
    const char* typed; // the field's text
    DWORD stored;
};

TEST_F(MainDlgTest, SaveProfile_StoresTheFieldAsOneHostFormInteger) {
    const CAddressCase cases[] = {
        {"192.168.1.1", 3232235777u}, {"...", 0},          {"10..1.2", 0x0A000102u},
        {"255.255.255.255", 0xFFFFFFFFu}, {"127.0.0.2", 0x7F000002u},
    };
    for (const CAddressCase& c : cases) {
        SCOPED_TRACE(c.typed);
        CMainDlg dlg;
        ASSERT_TRUE(dlg.Create());
        dlg.m_IPAddressCtrl.SetText(QString::fromLatin1(c.typed));
        dlg.SaveProfile();
        EXPECT_EQ(c.stored, GetProfileInt("Peer", "IPAddress", 1));
        dlg.DestroyWindow();
    }
}

// A value as it is stored before the dialog opens, and as a save leaves it.
struct CSaveCase {
    const char* key;    // "Section/Key"
    const char* stored; // null: absent
    const char* saved;
};

TEST_F(MainDlgTest, SaveProfile_WritesBackWhatItLoaded) {
    const CSaveCase cases[] = {
        // The port is written back as COM1 or COM2 only.
        {"Rs232/Port", nullptr, "COM1"},
        {"Rs232/Port", "COM1", "COM1"},
        {"Rs232/Port", "COM2", "COM2"},
        {"Rs232/Port", "COM3", "COM2"},
        {"Rs232/Port", "com1", "COM2"},
        // Never loaded, so every save stores 0.
        {"UdpDebug/IPOnly", "1", "0"},
        // Carried settings survive.
        {"UdpAudio/Realtime", "0", "0"},
        {"UdpAudio/NoAcm", "0", "0"},
        {"Comm/Type", "0", "0"},
    };
    for (const CSaveCase& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " " + (c.stored != nullptr ? c.stored : "absent"));
        CTempProfile profile;
        const std::string key = c.key;
        const std::string section = key.substr(0, key.find('/'));
        const std::string name = key.substr(key.find('/') + 1);
        if (c.stored != nullptr && section == "Rs232")
            WriteProfileString(section.c_str(), name.c_str(), c.stored);
        else if (c.stored != nullptr)
            WriteProfileInt(section.c_str(), name.c_str(), std::stoi(c.stored));
        CMainDlg dlg;
        ASSERT_TRUE(dlg.Create());
        dlg.SaveProfile();
        EXPECT_EQ(c.saved, ProfileKeys()[key]);
        dlg.DestroyWindow();
    }
}

TEST_F(MainDlgTest, SaveLengthOutOfRange_ShowsTheRangeMessageAndStillWritesEveryKey) {
    for (int nStored : {640001, -1}) {
        SCOPED_TRACE(nStored);
        CTempProfile profile;
        CScriptedSeams seams;
        WriteProfileInt("Sdram", "SaveLength", nStored);
        CMainDlg dlg;
        ASSERT_TRUE(dlg.Create());
        EXPECT_TRUE(seams.Messages().empty()) << "loading ignores the range";
        dlg.SaveProfile();
        ASSERT_EQ(1u, seams.Messages().size());
        EXPECT_EQ("Please enter an integer between 0 and 640000.", seams.Messages()[0].text);
        EXPECT_EQ(MB_ICONEXCLAMATION, seams.Messages()[0].nType & MB_ICONMASK);
        EXPECT_EQ(11u, ProfileKeys().size());
        EXPECT_EQ(static_cast<UINT>(nStored), GetProfileInt("Sdram", "SaveLength", 0));
        dlg.DestroyWindow();
    }
}

TEST_F(MainDlgTest, Quit_EndsWithCancelAndLeavesTheProfileUnchanged) {
    WriteProfileInt("Peer", "IPAddress", static_cast<int>(0x7F000002));
    const std::string before = m_profile.Contents();
    CMainDlg dlg;
    QTimer::singleShot(0, [&] {
        dlg.m_IPAddressCtrl.SetText("10.9.8.7"); // typed, never used by a command
        QTest::mouseClick(dlg.GetDlgItem(IDCANCEL), Qt::LeftButton);
    });
    EXPECT_EQ(IDCANCEL, dlg.DoModal());
    EXPECT_EQ(before, m_profile.Contents());
    EXPECT_TRUE(m_seams.Messages().empty());
}

TEST_F(MainDlgTest, EnterInTheAddressField_EndsLikeQuitWhenSaveLengthIsInRange) {
    struct {
        int nSaveLength;
        size_t nMessages;
        bool bEnds;
    } const cases[] = {{0, 0, true}, {640000, 0, true}, {640001, 1, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.nSaveLength);
        CTempProfile profile;
        CScriptedSeams seams;
        WriteProfileInt("Sdram", "SaveLength", c.nSaveLength);
        const std::string before = profile.Contents();
        CMainDlg dlg;
        bool bStillOpen = false;
        QTimer::singleShot(0, [&] {
            QApplication::setActiveWindow(&dlg);
            QLineEdit* pField = dlg.m_IPAddressCtrl.Field(3);
            pField->setFocus();
            QTest::keyClick(pField, Qt::Key_Return);
            bStillOpen = dlg.isVisible();
            if (bStillOpen)
                dlg.EndDialog(IDCANCEL);
        });
        const int nResult = dlg.DoModal();
        EXPECT_EQ(c.bEnds ? IDOK : IDCANCEL, nResult);
        EXPECT_EQ(!c.bEnds, bStillOpen);
        EXPECT_EQ(c.nMessages, seams.Messages().size());
        EXPECT_EQ(before, profile.Contents()) << "OK saves nothing";
    }
}

TEST_F(MainDlgTest, UpdateButtons_RunTheirCommands) {
    // Both commands first offer a file; a cancelled choice writes nothing.
    CMainDlg dlg;
    ASSERT_TRUE(dlg.Create());
    qobject_cast<QPushButton*>(dlg.GetDlgItem(1055))->click();
    ASSERT_EQ(1u, m_seams.FileRequests().size());
    qobject_cast<QPushButton*>(dlg.GetDlgItem(1052))->click();
    ASSERT_EQ(2u, m_seams.FileRequests().size());
    EXPECT_NE(m_seams.FileRequests()[0].initialName, m_seams.FileRequests()[1].initialName);
    EXPECT_EQ("", m_profile.Contents());
    dlg.DestroyWindow();
}
