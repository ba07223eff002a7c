// A message sink with a window handle, living on the thread that created it.
#pragma once

#include "WinTypes.h"

#include <functional>

class CMessageQueue;

class CMsgWnd {
public:
    CMsgWnd() = default;
    virtual ~CMsgWnd(); // destroys the window if it still exists
    CMsgWnd(const CMsgWnd&) = delete;
    CMsgWnd& operator=(const CMsgWnd&) = delete;

    // Registers the window on the calling thread and sends it WM_CREATE; a
    // WM_CREATE result of -1 undoes the creation and gives FALSE.
    BOOL Create();
    // Test seam: a hook that returns false makes Create fail before
    // WM_CREATE, as a window the system cannot make. Called on the creating
    // thread.
    static void SetCreateHook(std::function<bool()> fnHook);
    // Sends WM_DESTROY, unregisters the handle and discards the messages
    // still queued for it. Ends the thread's loop when it is the worker's
    // main window.
    BOOL DestroyWindow();
    HWND GetSafeHwnd() const { return m_hWnd; }

    // Called on the window's thread for each delivered message.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

private:
    // What Create and DestroyWindow do alike on both platforms: asking the
    // create hook, and ending the worker's loop with its main window.
    static bool CreateHookAllows();
    void EndThreadIfMainWnd();

    HWND m_hWnd = 0;
    CMessageQueue* m_pQueue = nullptr;
};
