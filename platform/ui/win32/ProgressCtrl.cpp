#include "ProgressCtrl.h"

#include "UiApi.h"

void CProgressCtrl::SetRange32(int nLower, int nUpper) {
    Win32Ui::ProgressSetRange32(m_hWnd, nLower, nUpper);
}

int CProgressCtrl::SetPos(int nPos) {
    return Win32Ui::ProgressSetPos(m_hWnd, nPos);
}

int CProgressCtrl::GetPos() const {
    return Win32Ui::ProgressGetPos(m_hWnd);
}
