// Scaffolding until the firmware procedures land.
#include "MainDlg.h"

BOOL CMainDlg::UploadBlocks(const BYTE*, int, DWORD) { return FALSE; }
void CMainDlg::WriteFlashPage(const BYTE*, int) {}
void CMainDlg::OnUpdateProgram() {}
void CMainDlg::OnUpdatePFlash() {}
