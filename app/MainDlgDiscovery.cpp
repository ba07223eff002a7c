// The List Phones command of the main dialog.
#include "ListPhonesDlg.h"
#include "MainDlg.h"
#include "ResolveHostAddress.h"

#include <cstring>

void CMainDlg::OnListPhones() {
    CListPhonesDlg dlg;
    SaveProfile();
    // OK without a selected row leaves the address as it was.
    if (dlg.DoModal() != IDOK || dlg.m_strIPAddress.empty())
        return;
    // Network byte order: the first octet is the first byte in memory.
    const DWORD dwAddress = ResolveHostAddress(dlg.m_strIPAddress);
    BYTE octets[4];
    std::memcpy(octets, &dwAddress, sizeof octets);
    m_IPAddressCtrl.SetAddress(octets[0], octets[1], octets[2], octets[3]);
    UpdateData(FALSE);
    // Not written to the profile: the next SaveProfile takes it from the field.
}
