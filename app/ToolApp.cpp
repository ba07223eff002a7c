#include "ToolApp.h"

#include "Dialog.h"
#include "LinkEvents.h"
#include "MainDlg.h"
#include "Seams.h"
#include "UserInterface.h"
#include "WinSock.h"

CToolApp::~CToolApp() = default;

void CToolApp::SetRegistryKey(const char* pszRegistryKey) {
    AfxSetRegistryKey(pszRegistryKey);
}

BOOL CToolApp::InitInstance() {
    Enable3dControls();
    SetRegistryKey("Quillmark Communications");

    if (!WinSock2Init()) {
        AfxMessageBox("Winsock 2.0 failed", MB_OK);
        return FALSE;
    }
    CreateLinkEvents();
    {
        CMainDlg dlg;
        m_pMainWnd = &dlg;
        AfxSetMainWnd(&dlg);
        dlg.DoModal();

        CloseLinkEvents();
        WinSock2Free();
        AfxSetMainWnd(nullptr);
        m_pMainWnd = nullptr;
    } // the dialog object goes last: members, then the dialog base
    return FALSE;
}
