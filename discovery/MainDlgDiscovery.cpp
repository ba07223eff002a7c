// Scaffolding until discovery lands.
#include "MainDlg.h"

void CMainDlg::OnListPhones() { SaveProfile(); }
