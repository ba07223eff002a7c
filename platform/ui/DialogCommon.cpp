// The parts of CDialog both sides share: data exchange and the default
// handling of OK, Cancel and the other commands, above the windows each
// side makes.
#include "Dialog.h"

BOOL CDialog::UpdateData(BOOL bSaveAndValidate) {
    CDataExchange dx(bSaveAndValidate != FALSE, this);
    DoDataExchange(&dx);
    return dx.m_bFailed ? FALSE : TRUE;
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

void CDialog::OnOK() {
    if (!UpdateData(TRUE))
        return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

void CDialog::OnCommand(int) {}

void CDialog::Command(int nID) {
    if (nID == IDOK)
        OnOK();
    else if (nID == IDCANCEL)
        OnCancel();
    else
        OnCommand(nID);
}
