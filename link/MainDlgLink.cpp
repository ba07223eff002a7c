// The main dialog's link operations; the work is done in Rj45Link.cpp.
#include "MainDlg.h"

#include "Rj45Link.h"

BOOL CMainDlg::StartLink(bool bPrimaryPort) {
    return StartRj45Link(m_pRj45Thread, m_dwRj45ThreadId, bPrimaryPort);
}

void CMainDlg::StopLink() {
    StopRj45Link(m_pRj45Thread, m_dwRj45ThreadId);
}

BOOL CMainDlg::CheckTcpConnection() {
    return ::CheckTcpConnection(m_nCommType);
}
