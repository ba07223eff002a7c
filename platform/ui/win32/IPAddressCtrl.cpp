#include "IPAddressCtrl.h"

#include "UiApi.h"

int CIPAddressCtrl::GetAddress(DWORD& dwAddress) const {
    uint32_t dw = 0;
    const int n = Win32Ui::IpGetAddress(m_hWnd, &dw);
    dwAddress = dw;
    return n;
}

int CIPAddressCtrl::GetAddress(BYTE& nField0, BYTE& nField1, BYTE& nField2, BYTE& nField3) const {
    DWORD dwAddress = 0;
    const int n = GetAddress(dwAddress);
    nField0 = static_cast<BYTE>(dwAddress >> 24);
    nField1 = static_cast<BYTE>(dwAddress >> 16);
    nField2 = static_cast<BYTE>(dwAddress >> 8);
    nField3 = static_cast<BYTE>(dwAddress);
    return n;
}

void CIPAddressCtrl::SetAddress(DWORD dwAddress) {
    Win32Ui::IpSetAddress(m_hWnd, dwAddress);
}

void CIPAddressCtrl::SetAddress(BYTE nField0, BYTE nField1, BYTE nField2, BYTE nField3) {
    SetAddress(static_cast<DWORD>(nField0) << 24 | static_cast<DWORD>(nField1) << 16 |
               static_cast<DWORD>(nField2) << 8 | nField3);
}

BOOL CIPAddressCtrl::IsBlank() const {
    return Win32Ui::IpIsBlank(m_hWnd) ? TRUE : FALSE;
}

void CIPAddressCtrl::ClearAddress() {
    Win32Ui::IpClearAddress(m_hWnd);
}

void CIPAddressCtrl::SetFieldFocus(WORD nField) {
    Win32Ui::IpSetFocus(m_hWnd, nField);
}
