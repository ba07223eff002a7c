// The Windows side of CWnd: a real window handle and the MFC members the
// shared code calls on it. A member control gets its handle when
// DDX_Control binds it to a dialog's control, and loses it with the window.
#pragma once

#include "UiTypes.h"
#include "UserInterface.h"

#include <string>

class CWnd {
public:
    virtual ~CWnd();

    // Told the template control's style when a member is bound to it.
    virtual void OnBind(DWORD /*dwStyle*/) {}

    BOOL EnableWindow(BOOL bEnable = TRUE);
    BOOL IsWindowEnabled() const;
    BOOL IsWindowVisible() const;
    void SetWindowText(const std::string& text);
    std::string GetWindowText() const;
    // The top-level window this one is part of, or null when that is no
    // CWnd of this program.
    CWnd* GetTopLevelParent() const;
    void SetIcon(HICON hIcon, BOOL bBigIcon);

    // The window (the real HWND), 0 while there is none.
    uintptr_t m_hWnd = 0;

protected:
    // A top-level window of this layer is found again by its handle.
    void Attach(uintptr_t hWnd);
    void Detach();
};
