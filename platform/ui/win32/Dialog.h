// The Windows side of CDialog: a real dialog from the program's DIALOG
// resource nIDTemplate (102, 103, 136), made by DialogBoxParam (DoModal) or
// CreateDialogParam (Create), with the MFC life cycle the shared code
// expects: OnInitDialog at WM_INITDIALOG, data exchange, OnOK/OnCancel, and
// the dialog manager's keys (Enter gives the default button's command or 1,
// Escape and the close box 2). The common controls of the templates are the
// real ones; member controls bind to them through DDX_Control.
#pragma once

#include "DataExchange.h"
#include "Wnd.h"

#include <memory>
#include <string>
#include <vector>

class CBeforeBlockHook;

class CDialog : public CWnd {
public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParent = nullptr);
    ~CDialog() override;

    // Modal run; returns the result given to EndDialog (IDOK, IDCANCEL), or
    // -1 when the window could not be created.
    virtual int DoModal();
    // Modeless creation from the template; FALSE on failure.
    virtual BOOL Create(CWnd* pParent = nullptr);
    // Destroys the window (the object stays); a modal one ends its loop.
    virtual BOOL DestroyWindow();
    bool HasWindow() const { return m_hWnd != 0; }

    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);
    void EndDialog(int nResult);

    void SetDlgItemText(int nID, const std::string& text);
    std::string GetDlgItemText(int nID) const;

    // A message target for the platform's posted messages (socket
    // notifications); it exists while the window does, 0 otherwise.
    HWND GetSafeHwnd() const;
    // Posted messages for GetSafeHwnd(), on the user-interface thread. The
    // receiver owns a message's payload.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    // Used by DDX_Control.
    void BindControl(int nID, CWnd* pControl);

    // The window's changes are painted before the thread blocks in a wait;
    // Windows itself paints them at most once per pass of the message loop.
    void PaceRedraws();
    void ContentChanged() {}

protected:
    // Base: the data exchange that loads the controls (UpdateData(FALSE));
    // TRUE gives the focus to the first tab stop.
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(CDataExchange* pDX);
    // Base: validates (UpdateData(TRUE)) and, when that passes, ends with IDOK.
    virtual void OnOK();
    // Base: ends with IDCANCEL.
    virtual void OnCancel();
    // A push button with this id was clicked (ids other than IDOK/IDCANCEL).
    virtual void OnCommand(int nID);
    // The window is about to be destroyed (WM_DESTROY); controls still exist.
    virtual void OnDestroy() {}

    const UINT m_nIDTemplate;
    // The owner given to Create/DoModal or the constructor (may be null).
    CWnd* m_pParentWnd;

private:
    class CSink;
    static intptr_t DialogProc(void* pOwner, uintptr_t hDlg, unsigned message, uintptr_t wParam,
                               intptr_t lParam);
    void Command(int nID);
    uintptr_t OwnerHandle() const;
    void WindowGone();

    std::unique_ptr<CSink> m_pSink;
    std::vector<CWnd*> m_bound;
    std::unique_ptr<CBeforeBlockHook> m_pBeforeBlock;
    bool m_bModal = false;
};
