#include "Dialog.h"

#include "BeforeBlockHook.h"
#include "DialogSink.h"
#include "UiApi.h"

namespace {
constexpr unsigned kWmDestroy = 0x0002;
constexpr unsigned kWmClose = 0x0010;
constexpr unsigned kWmInitDialog = 0x0110;
constexpr unsigned kWmCommand = 0x0111;
constexpr unsigned kBnClicked = 0;

CWnd* g_pMainWnd = nullptr;
} // namespace

CWnd* AfxGetMainWnd() {
    return g_pMainWnd;
}

void AfxSetMainWnd(CWnd* pWnd) {
    g_pMainWnd = pWnd;
}

CDialog::CDialog(UINT nIDTemplate, CWnd* pParent)
    : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParent) {}

CDialog::~CDialog() {
    if (HasWindow())
        Win32Ui::DestroyWindow(m_hWnd);
}

HWND CDialog::GetSafeHwnd() const {
    return m_pSink ? m_pSink->GetSafeHwnd() : 0;
}

LRESULT CDialog::WindowProc(UINT, WPARAM, LPARAM) {
    return 0;
}

uintptr_t CDialog::OwnerHandle() const {
    CWnd* pOwner = m_pParentWnd != nullptr ? m_pParentWnd->GetTopLevelParent() : AfxGetMainWnd();
    if (pOwner == this || pOwner == nullptr)
        return 0;
    return pOwner->m_hWnd;
}

intptr_t CDialog::DialogProc(void* pOwner, uintptr_t hDlg, unsigned message, uintptr_t wParam,
                             intptr_t) {
    auto* pDlg = static_cast<CDialog*>(pOwner);
    switch (message) {
    case kWmInitDialog: {
        pDlg->Attach(hDlg);
        pDlg->m_pSink = std::make_unique<CSink>(pDlg);
        pDlg->m_pSink->Create();
        // Centred, as MFC places a dialog that OnInitDialog left where the
        // template put it.
        Win32Ui::CenterWindow(hDlg);
        return pDlg->OnInitDialog();
    }
    case kWmCommand: {
        const unsigned nCode = static_cast<unsigned>(wParam >> 16) & 0xFFFF;
        const int nID = static_cast<int>(wParam & 0xFFFF);
        // Buttons, and the dialog manager's Enter (1) and Escape (2).
        if (nCode == kBnClicked || nID == IDOK || nID == IDCANCEL) {
            pDlg->Command(nID);
            return 1;
        }
        return 0;
    }
    case kWmClose:
        pDlg->Command(IDCANCEL);
        return 1;
    case kWmDestroy:
        pDlg->OnDestroy();
        pDlg->WindowGone();
        return 0;
    default:
        return 0;
    }
}

void CDialog::WindowGone() {
    if (m_pSink) {
        m_pSink->DestroyWindow();
        m_pSink.reset();
    }
    for (CWnd* pControl : m_bound)
        pControl->m_hWnd = 0;
    m_bound.clear();
    Detach();
}

int CDialog::DoModal() {
    if (HasWindow())
        return -1;
    m_bModal = true;
    const intptr_t nResult =
        Win32Ui::RunModalDialog(m_nIDTemplate, OwnerHandle(), this, DialogProc);
    m_bModal = false;
    return static_cast<int>(nResult);
}

BOOL CDialog::Create(CWnd* pParent) {
    if (HasWindow())
        return FALSE;
    if (pParent != nullptr)
        m_pParentWnd = pParent;
    m_bModal = false;
    // The window and its WM_INITDIALOG come before the call returns.
    if (Win32Ui::CreateModelessDialog(m_nIDTemplate, OwnerHandle(), this, DialogProc) == 0)
        return FALSE;
    return TRUE;
}

BOOL CDialog::DestroyWindow() {
    if (!HasWindow())
        return FALSE;
    if (m_bModal) {
        // The modal loop ends and destroys the window as it returns.
        Win32Ui::EndDialog(m_hWnd, IDCANCEL);
        return TRUE;
    }
    return Win32Ui::DestroyWindow(m_hWnd) ? TRUE : FALSE;
}

void CDialog::EndDialog(int nResult) {
    if (!HasWindow())
        return;
    if (m_bModal)
        Win32Ui::EndDialog(m_hWnd, nResult);
    else
        Win32Ui::ShowWindow(m_hWnd, false);
}

void CDialog::SetDlgItemText(int nID, const std::string& text) {
    Win32Ui::SetWindowText(Win32Ui::GetDlgItem(m_hWnd, nID), text);
}

std::string CDialog::GetDlgItemText(int nID) const {
    return Win32Ui::GetWindowText(Win32Ui::GetDlgItem(m_hWnd, nID));
}

void CDialog::BindControl(int nID, CWnd* pControl) {
    const uintptr_t hControl = Win32Ui::GetDlgItem(m_hWnd, nID);
    if (hControl == 0 || pControl->m_hWnd == hControl)
        return;
    pControl->m_hWnd = hControl;
    pControl->OnBind(0);
    m_bound.push_back(pControl);
}

void CDialog::PaceRedraws() {
    if (!m_pBeforeBlock)
        m_pBeforeBlock = std::make_unique<CBeforeBlockHook>([this] {
            if (HasWindow())
                Win32Ui::UpdateWindow(m_hWnd);
        });
}
