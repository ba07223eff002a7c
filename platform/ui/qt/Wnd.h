// The Linux side of CWnd: a window is a Qt widget. Every window class of
// this layer (CDialog, CIPAddressCtrl, CProgressCtrl, CListCtrl) is both its
// widget and a CWnd, so the shared code calls the MFC members and tests may
// still reach the widget.
#pragma once

#include "UiTypes.h"
#include "UserInterface.h"

#include <QWidget>

#include <string>

class CWnd {
public:
    virtual ~CWnd() = default;

    // The widget this window is.
    virtual QWidget* GetWidget() const = 0;
    // Told the template control's style when a member is bound to it.
    virtual void OnBind(DWORD /*dwStyle*/) {}

    // Returns TRUE when the window was disabled before.
    BOOL EnableWindow(BOOL bEnable = TRUE);
    BOOL IsWindowEnabled() const;
    BOOL IsWindowVisible() const;
    void SetWindowText(const std::string& text);
    std::string GetWindowText() const;
    // The top-level window this one is part of (itself for a top-level
    // window), or null when that window is no CWnd.
    CWnd* GetTopLevelParent() const;
    // The icon of the title bar (FALSE) or of the task bar and switcher
    // (TRUE); one icon with both sizes serves both here.
    void SetIcon(HICON hIcon, BOOL bBigIcon);
};

// Any widget as a window, for an owner that is no dialog (tests).
class CWidgetWnd : public QWidget, public CWnd {
public:
    QWidget* GetWidget() const override { return const_cast<CWidgetWnd*>(this); }
};

// The Qt icon behind an HICON of AfxLoadIcon.
const class QIcon* IconFromHandle(HICON hIcon);
