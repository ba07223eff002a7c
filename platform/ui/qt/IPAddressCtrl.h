// The Linux side of CIPAddressCtrl: the IPv4 address entry field, with the behaviour of the Windows
// IP address control: four fields of 0 to 255; typing "." (or a space) in a field that is not
// blank, or a third digit, moves to the next field; a value above 255 is clamped to 255 and the
// caret stays; a field left blank stays blank and counts as 0. Values are host form: the first
// field in the most significant byte.
#pragma once

#include "Wnd.h"

#include <QFrame>

class QLineEdit;

class CIPAddressCtrl : public QFrame, public CWnd {
    Q_OBJECT
public:
    explicit CIPAddressCtrl(QWidget* pParent = nullptr);
    QWidget* GetWidget() const override { return const_cast<CIPAddressCtrl*>(this); }

    // The number of fields that are not blank; blank fields give 0.
    int GetAddress(DWORD& dwAddress) const;
    int GetAddress(BYTE& nField0, BYTE& nField1, BYTE& nField2, BYTE& nField3) const;
    void SetAddress(DWORD dwAddress);
    void SetAddress(BYTE nField0, BYTE nField1, BYTE nField2, BYTE nField3);
    BOOL IsBlank() const;
    void ClearAddress();
    // Gives the focus to field nField (0..3), its text selected.
    void SetFieldFocus(WORD nField);

    // The window text: "a.b.c.d" with each field's value, blank fields as
    // empty; SetText takes the same form.
    QString Text() const;
    void SetText(const QString& text);
    // The edit of field n (0..3), for tests and accessibility.
    QLineEdit* Field(int n) const { return m_pFields[n]; }

signals:
    // A field's value changed through the keyboard (IPN_FIELDCHANGED).
    void FieldChanged(int nField);

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    void OnTextEdited(int nField);
    // Clamps the field to 255; true when it had to.
    bool ConstrainField(int nField);
    void NormaliseField(int nField);
    void GotoField(int nField, bool bSelectAll, bool bCaretAtEnd = false);

    QLineEdit* m_pFields[4];
};
