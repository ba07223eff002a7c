// The user-interface platform as the program sees it: set up once in main,
// the application's icon, the main window, the wait cursor and the pump
// that a long procedure on the user-interface thread runs between steps.
// Linux builds it on Qt Widgets (qt/), Windows on the real Win32 calls
// (win32/); the class headers beside these (Dialog.h, IPAddressCtrl.h,
// ProgressCtrl.h, ListCtrl.h) come from the same folder and offer both
// platforms the same MFC-like members.
#pragma once

#include "UiTypes.h"

#include <memory>

class CWnd;

class CUserInterface {
public:
    // The platform's windowing, the common controls, the translations and
    // the message boxes and file dialog (the user seams), for as long as
    // this object lives. One per program, made first thing in main.
    CUserInterface(int& argc, char** argv);
    ~CUserInterface();
    CUserInterface(const CUserInterface&) = delete;
    CUserInterface& operator=(const CUserInterface&) = delete;

private:
    struct CState;
    std::unique_ptr<CState> m_pState;
};

// The application's main window (CWinApp::m_pMainWnd): owner of dialogs and
// message boxes created without a parent. Null before it is set.
CWnd* AfxGetMainWnd();
void AfxSetMainWnd(CWnd* pWnd);

// The icon resource nID (IDR_MAINFRAME) in the sizes the platform shows,
// loaded once and kept for the life of the process; null when unknown.
HICON AfxLoadIcon(UINT nIDResource);
// CWinApp::SetRegistryKey: the organisation the profile is kept under.
void AfxSetRegistryKey(const char* pszRegistryKey);

// Delivers every message and event that is waiting, without waiting for
// more; what a procedure runs between steps so its windows stay alive.
void PumpWaitingMessages();

// The hourglass over every window of the program, counted: each Begin needs
// its End.
void BeginWaitCursor();
void EndWaitCursor();
