// A dialog built from a template in res/, with the MFC dialog life cycle the
// ported code expects: OnInitDialog, data exchange, OnOK/OnCancel, modal and
// modeless use.
#pragma once

#include "WinTypes.h"

#include <QDialog>
#include <string>

class CDataExchange {
public:
    explicit CDataExchange(bool bSaveAndValidate) : m_bSaveAndValidate(bSaveAndValidate) {}
    bool m_bSaveAndValidate;
    bool m_bFailed = false;
};

// Range check of an int field: when saving and the value is outside
// [nMin, nMax], shows "Please enter an integer between nMin and nMax." with
// the warning icon and fails the exchange.
void DDV_MinMaxInt(CDataExchange* pDX, int value, int nMin, int nMax);

class CDialog : public QDialog {
    Q_OBJECT
public:
    explicit CDialog(UINT nIDTemplate, QWidget* pParent = nullptr);
    ~CDialog() override;

    // Modal run; returns the result given to EndDialog (IDOK, IDCANCEL).
    virtual int DoModal();
    // Modeless creation from the template; FALSE on failure.
    virtual BOOL Create(QWidget* pParent = nullptr);
    // Destroys a modeless window (the object stays).
    virtual BOOL DestroyWindow();
    bool HasWindow() const;

    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);
    void EndDialog(int nResult);

    // The control with this id in the template, or null.
    QWidget* GetDlgItem(int nID) const;
    void SetDlgItemText(int nID, const std::string& text);
    std::string GetDlgItemText(int nID) const;

protected:
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(CDataExchange* pDX);
    virtual void OnOK();
    virtual void OnCancel();
    // A push button with this id was clicked (ids other than IDOK/IDCANCEL).
    virtual void OnCommand(int nID);

    const UINT m_nIDTemplate;
};
