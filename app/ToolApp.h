// The application object: starts the network layer and the link events,
// runs the main dialog modally for the life of the process, then undoes the
// start-up in order.
#pragma once

#include "WinTypes.h"

class CWnd;

class CToolApp {
public:
    CToolApp() = default;
    virtual ~CToolApp();
    CToolApp(const CToolApp&) = delete;
    CToolApp& operator=(const CToolApp&) = delete;

    // Runs the whole program; FALSE, so no message loop of its own follows.
    virtual BOOL InitInstance();

    // The main dialog while it runs, null otherwise.
    CWnd* m_pMainWnd = nullptr;

protected:
    // Win32's three-dimensional control look; both platforms draw it already.
    void Enable3dControls() {}
    void SetRegistryKey(const char* pszRegistryKey);
};
