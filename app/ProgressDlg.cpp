#include "ProgressDlg.h"

#include "DialogTemplates.h"
#include "StringTable.h"

#include "UserInterface.h"

#include <cstdint>
#include <cstdio>

namespace {
constexpr int IDC_PROGRESS = 1002;
constexpr int IDC_PERCENT = 1004;
constexpr int IDC_STATUS = 1006;
} // namespace

CProgressDlg::CProgressDlg(UINT nCaptionID)
    : CDialog(IDD_PROGRESS_DIALOG), m_nCaptionID(nCaptionID != 0 ? nCaptionID : IDS_WAIT) {
    // A block upload changes the window thousands of times a second.
    PaceRedraws();
}

CProgressDlg::~CProgressDlg() {
    if (HasWindow())
        DestroyWindow();
    ReEnableOwner();
}

BOOL CProgressDlg::Create(CWnd* pParent) {
    // The safe owner: the parent's window, else the application's main window.
    CWnd* pOwner = pParent != nullptr ? pParent->GetTopLevelParent() : AfxGetMainWnd();
    if (pOwner != nullptr && pOwner->IsWindowEnabled()) {
        pOwner->EnableWindow(FALSE);
        m_pOwnerWnd = pOwner;
    }
    if (!CDialog::Create(pOwner)) {
        ReEnableOwner();
        return FALSE;
    }
    return TRUE;
}

BOOL CProgressDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    SetRange(m_nLower, m_nUpper);
    SetStep(m_nStep);
    m_nPos = m_nLower;
    m_Progress.SetPos(m_nLower);
    SetWindowText(LoadStringResource(m_nCaptionID));
    return TRUE;
}

void CProgressDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_PROGRESS, m_Progress);
}

BOOL CProgressDlg::DestroyWindow() {
    ReEnableOwner();
    return CDialog::DestroyWindow();
}

void CProgressDlg::SetStatusText(const std::string& text) {
    ContentChanged();
    SetDlgItemText(IDC_STATUS, text);
}

void CProgressDlg::SetRange(int nLower, int nUpper) {
    m_nLower = nLower;
    m_nUpper = nUpper;
    // The bar keeps its position, brought inside the new range.
    if (m_nPos > nUpper)
        m_nPos = nUpper;
    if (m_nPos < nLower)
        m_nPos = nLower;
    if (HasWindow())
        m_Progress.SetRange32(nLower, nUpper);
}

void CProgressDlg::SetStep(int nStep) {
    m_nStep = nStep;
}

int CProgressDlg::StepIt() {
    if (!HasWindow())
        return m_nLower;
    // Everything pending, our posted messages included; never waits.
    PumpWaitingMessages();
    // The window may have gone while events were delivered.
    if (!HasWindow())
        return m_nLower;
    ContentChanged();

    // The Windows bar's step: past the upper bound it starts again from the
    // lower one, carrying the excess.
    const int nOldPos = m_nPos;
    int64_t nPos = static_cast<int64_t>(nOldPos) + m_nStep;
    const int64_t nRange = static_cast<int64_t>(m_nUpper) - m_nLower;
    if (nRange > 0 && nPos > m_nUpper)
        nPos = (nPos - m_nLower) % nRange + m_nLower;
    else if (nRange > 0 && nPos < m_nLower)
        nPos = m_nUpper - (m_nLower - nPos) % nRange;
    else if (nRange <= 0)
        nPos = m_nLower;
    m_nPos = static_cast<int>(nPos);
    m_Progress.SetPos(m_nPos);

    UpdatePercent(
        static_cast<int>(static_cast<uint32_t>(nOldPos) + static_cast<uint32_t>(m_nStep)));
    return nOldPos;
}

void CProgressDlg::UpdatePercent(int nPos) {
    // 32-bit signed arithmetic as the original computes it, wrapping instead
    // of overflowing.
    const int32_t nSpan =
        static_cast<int32_t>(static_cast<uint32_t>(m_nUpper) - static_cast<uint32_t>(m_nLower));
    if (m_nUpper <= m_nLower || nSpan <= 0)
        return; // an empty range shows nothing new
    const int32_t nOffset =
        static_cast<int32_t>(static_cast<uint32_t>(nPos) - static_cast<uint32_t>(m_nLower));
    const int32_t nScaled = static_cast<int32_t>(static_cast<uint32_t>(nOffset) * 100u);
    int32_t nPercent = nScaled / nSpan;
    if (nPercent != 100)
        nPercent %= 100;
    char text[16];
    std::snprintf(text, sizeof text, "%d%c", nPercent, '%');
    if (GetDlgItemText(IDC_PERCENT) != text)
        SetDlgItemText(IDC_PERCENT, text);
}

void CProgressDlg::ReEnableOwner() {
    if (m_pOwnerWnd != nullptr)
        m_pOwnerWnd->EnableWindow(TRUE);
    m_pOwnerWnd = nullptr;
}
