// Dialog data exchange: the range check and the binding of a member control
// to its template control, as DoDataExchange uses them.
#pragma once

#include "WinTypes.h"

class CDialog;
class CWnd;

class CDataExchange {
public:
    explicit CDataExchange(bool bSaveAndValidate, CDialog* pDlg = nullptr)
        : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlg) {}
    bool m_bSaveAndValidate;
    bool m_bFailed = false;
    CDialog* m_pDlgWnd;
};

// Range check of an int field: when saving and the value is outside
// [nMin, nMax], shows "Please enter an integer between nMin and nMax." with
// the warning icon and fails the exchange. Loading ignores the range.
void DDV_MinMaxInt(CDataExchange* pDX, int value, int nMin, int nMax);

// Binds a control object that the dialog class owns as a member to the
// template's control nIDC, for as long as the window exists. The object
// stays the dialog's, so it is bound again by the next window.
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);
