// Scaffolding until the link lands: the commands cannot reach a phone yet.
#include "MainDlg.h"

BOOL CMainDlg::StartLink(bool) { return FALSE; }
void CMainDlg::StopLink() {}
BOOL CMainDlg::CheckTcpConnection() { return m_nCommType == 1; }
