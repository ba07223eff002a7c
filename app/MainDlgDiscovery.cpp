// The List Phones command of the main dialog.
#include "ListPhonesDlg.h"
#include "MainDlg.h"
#include "ResolveHostAddress.h"

#include <arpa/inet.h>

void CMainDlg::OnListPhones() {
    CListPhonesDlg dlg;
    SaveProfile();
    // OK without a selected row leaves the address as it was.
    if (dlg.DoModal() != IDOK || dlg.m_strIPAddress.empty())
        return;
    // The control holds the first octet in the most significant byte.
    const DWORD dwAddress = ntohl(ResolveHostAddress(dlg.m_strIPAddress));
    m_IPAddressCtrl.SetAddress(dwAddress);
    UpdateData(FALSE);
    // Not written to the profile: the next SaveProfile takes it from the field.
}
