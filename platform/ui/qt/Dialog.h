// The Linux side of CDialog, on Qt Widgets: a dialog built from a template in res/, with the MFC
// dialog life cycle the ported code expects: OnInitDialog, data exchange, OnOK/OnCancel, modal and
// modeless use.
//
// Controls are made from the template's classes:
//   "Button" (push button)        QPushButton; a click gives OnOK (id 1),
//                                 OnCancel (id 2) or OnCommand(id)
//   "Static"                      QLabel
//   "SysIPAddress32"              CIPAddressCtrl
//   "msctls_progress32"           QProgressBar
//   "SysListView32" (report view) QTreeWidget, root decoration off, one
//                                 column until the owner inserts its own;
//                                 LVS_SINGLESEL gives single selection,
//                                 LVS_SORTASCENDING sorting on column 0
//                                 ascending, LVS_SHOWSELALWAYS a selection
//                                 painted also without focus
// Each control lives from Create/DoModal until the window is destroyed; the
// window is rebuilt from the template every time.
//
// Keys as the Win32 dialog manager handles them: Escape and the close box
// give command 2 (OnCancel); Enter on a push button gives that button's
// command, elsewhere the default button's, or command 1 (OnOK) when the
// template has no default button.
#pragma once

#include "DataExchange.h"
#include "Wnd.h"

#include <QDialog>
#include <QPointer>
#include <memory>
#include <string>
#include <vector>

class CRedrawPacer;
struct CDlgTemplate;

class CDialog : public QDialog, public CWnd {
    Q_OBJECT
public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParent = nullptr);
    ~CDialog() override;

    // Modal run; returns the result given to EndDialog (IDOK, IDCANCEL), or
    // -1 when the window could not be created.
    virtual int DoModal();
    // Modeless creation from the template; FALSE on failure.
    virtual BOOL Create(CWnd* pParent = nullptr);
    // Destroys a modeless window (the object stays).
    virtual BOOL DestroyWindow();
    bool HasWindow() const;

    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);
    void EndDialog(int nResult);

    QWidget* GetWidget() const override { return const_cast<CDialog*>(this); }

    // The control with this id in the template, or null (also while there is
    // no window). Here the control's widget.
    QWidget* GetDlgItem(int nID) const;
    void SetDlgItemText(int nID, const std::string& text);
    std::string GetDlgItemText(int nID) const;

    // A message target for the platform's posted messages (socket
    // notifications); it exists while the window does, 0 otherwise.
    HWND GetSafeHwnd() const;
    // Posted messages for GetSafeHwnd(), on the user-interface thread. The
    // receiver owns a message's payload.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    // Dialog units to pixels through the dialog font's base units.
    QRect MapDialogRect(const QRect& rect) const;
    // Horizontal and vertical base units of the dialog font, in pixels.
    QSize GetBaseUnits() const;

    // Used by DDX_Control.
    void BindControl(int nID, CWnd* pControl);

    // For a window that changes thousands of times a second: its changes are
    // painted at most once a display frame, and what a frame holds is painted
    // before the thread blocks in a wait. Call before Create; ContentChanged
    // before each change of the contents.
    void PaceRedraws();
    void ContentChanged();

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

    void paintEvent(QPaintEvent* pEvent) override;
    void keyPressEvent(QKeyEvent* pEvent) override;
    void closeEvent(QCloseEvent* pEvent) override;
    void reject() override;
    void accept() override;

    const UINT m_nIDTemplate;
    // The owner given to Create/DoModal or the constructor (may be null).
    QPointer<QWidget> m_pParentWnd;

private:
    struct CControl {
        int nID;
        DWORD dwStyle;
        QPointer<QWidget> pWidget;
        bool bMember; // bound by DDX_Control: the object owns it, not the window
    };
    class CSink;

    bool CreateWindowFromTemplate(QWidget* pParent);
    void DestroyControls();
    void ApplyTabOrder();
    void SetInitialFocus();
    void Command(int nID);

    const CDlgTemplate* m_pTemplate;
    std::unique_ptr<CRedrawPacer> m_pPacer;
    std::vector<CControl> m_controls;
    std::unique_ptr<CSink> m_pSink;
    bool m_bHasWindow = false;
    bool m_bInModalLoop = false;
    bool m_bEndPending = false;
    int m_nEndResult = 0;
    int m_nDefID = IDOK;
};
