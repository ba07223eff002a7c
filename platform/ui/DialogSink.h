// The dialog's handle for posted messages, the same on both sides: a hidden
// window of the platform layer, so a payload still queued when the dialog
// goes is released.
#pragma once

#include "Dialog.h"
#include "MsgWnd.h"

class CDialog::CSink : public CMsgWnd {
public:
    explicit CSink(CDialog* pDlg) : m_pDlg(pDlg) {}
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_CREATE || message == WM_DESTROY)
            return 0;
        return m_pDlg->WindowProc(message, wParam, lParam);
    }

private:
    CDialog* m_pDlg;
};
