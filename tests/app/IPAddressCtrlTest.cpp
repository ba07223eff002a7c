// The address control: typing, clamping, blanks, and the host-form value.
#include "IPAddressCtrl.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <string>

namespace {

// Types into whichever field has the focus, as a user does.
void Type(const char* keys) {
    for (const char* p = keys; *p != '\0'; ++p)
        QTest::keyClick(QApplication::focusWidget(), *p);
}

struct CTypingCase {
    const char* typed;
    const char* text;   // the control's text afterwards
    int nFilled;        // GetAddress's count
    DWORD dwAddress;
    int nFocusField;    // where the caret ends
};

} // namespace

TEST(IPAddressCtrlTest, Typing_MovesClampsAndKeepsBlanks) {
    const CTypingCase cases[] = {
        {"192.168.1.1", "192.168.1.1", 4, 0xC0A80101u, 3},
        {"10003", "100.3..", 2, 0x64030000u, 1},      // a third digit moves on
        {"007.1", "7.1..", 2, 0x07010000u, 1},
        {"300", "255...", 1, 0xFF000000u, 0},          // clamped, the caret stays
        {"999.7", "255.7..", 2, 0xFF070000u, 1},
        {"1..2", "1.2..", 2, 0x01020000u, 1},          // "." in a blank field stays
        {"", "...", 0, 0, 0},
        {"1a2b", "12...", 1, 0x0C000000u, 0},          // letters are refused
        {"1.2.3.4.5", "1.2.3.45", 4, 0x0102032Du, 3},  // no field after the last
    };
    for (const CTypingCase& c : cases) {
        SCOPED_TRACE(c.typed);
        CIPAddressCtrl ctrl;
        ctrl.resize(200, 24);
        ctrl.show();
        QApplication::setActiveWindow(&ctrl);
        ctrl.SetFieldFocus(0);
        Type(c.typed);
        EXPECT_EQ(c.text, ctrl.Text().toStdString());
        DWORD dwAddress = 1;
        EXPECT_EQ(c.nFilled, ctrl.GetAddress(dwAddress));
        EXPECT_EQ(c.dwAddress, dwAddress);
        EXPECT_EQ(c.nFilled == 0, ctrl.IsBlank() == TRUE);
        EXPECT_EQ(ctrl.Field(c.nFocusField), QApplication::focusWidget());
    }
}

TEST(IPAddressCtrlTest, SetAddress_PutsTheFirstOctetInTheFirstField) {
    CIPAddressCtrl ctrl;
    ctrl.SetAddress(3232235777u);
    EXPECT_EQ("192.168.1.1", ctrl.Text().toStdString());
    BYTE b0 = 0, b1 = 0, b2 = 0, b3 = 0;
    EXPECT_EQ(4, ctrl.GetAddress(b0, b1, b2, b3));
    EXPECT_EQ(192, b0);
    EXPECT_EQ(168, b1);
    EXPECT_EQ(1, b2);
    EXPECT_EQ(1, b3);
    ctrl.ClearAddress();
    EXPECT_TRUE(ctrl.IsBlank());
    DWORD dwAddress = 5;
    EXPECT_EQ(0, ctrl.GetAddress(dwAddress));
    EXPECT_EQ(0u, dwAddress);
    ctrl.SetAddress(0);
    EXPECT_EQ("0.0.0.0", ctrl.Text().toStdString());
    EXPECT_FALSE(ctrl.IsBlank());
}

TEST(IPAddressCtrlTest, DigitsBeforeTheCaretEnd_ClampWithoutMoving_AndArrowsLeaveAtTheEdge) {
    CIPAddressCtrl ctrl;
    ctrl.show();
    QApplication::setActiveWindow(&ctrl);
    ctrl.Field(2)->setText("99"); // the caret is not at the end: no move yet
    ctrl.SetFieldFocus(2);
    ctrl.Field(2)->setCursorPosition(0);
    QTest::keyClick(ctrl.Field(2), '9');
    EXPECT_EQ("255", ctrl.Field(2)->text().toStdString());
    EXPECT_EQ(ctrl.Field(2), QApplication::focusWidget());
    QTest::keyClick(ctrl.Field(2), Qt::Key_Backspace);
    QTest::keyClick(ctrl.Field(2), Qt::Key_Home);
    QTest::keyClick(ctrl.Field(2), Qt::Key_Left); // back to the previous field
    EXPECT_EQ(ctrl.Field(1), QApplication::focusWidget());
}

TEST(IPAddressCtrlTest, AFieldLeftOver255_IsClampedOnLeaving) {
    CIPAddressCtrl ctrl;
    ctrl.show();
    QApplication::setActiveWindow(&ctrl);
    ctrl.SetFieldFocus(1);
    ctrl.Field(1)->setText("300");
    ctrl.SetFieldFocus(3);
    EXPECT_EQ(".255..", ctrl.Text().toStdString());
}
