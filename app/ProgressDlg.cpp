#include "ProgressDlg.h"

#include "DialogTemplates.h"
#include "StringTable.h"

#include <QCoreApplication>
#include <QEvent>
#include <QProgressBar>

#include <cstdint>
#include <cstdio>

namespace {
constexpr int IDC_PROGRESS = 1002;
constexpr int IDC_PERCENT = 1004;
constexpr int IDC_STATUS = 1006;
// A display frame at 60 Hz.
constexpr int kFrameMs = 16;
} // namespace

CProgressDlg::CProgressDlg(UINT nCaptionID)
    : CDialog(IDD_PROGRESS_DIALOG), m_nCaptionID(nCaptionID != 0 ? nCaptionID : IDS_WAIT),
      m_beforeBlock([this] { PaintBeforeBlocking(); }) {
    m_frame.setSingleShot(true);
    m_frame.setTimerType(Qt::PreciseTimer);
    m_frame.setInterval(kFrameMs);
    QObject::connect(&m_frame, &QTimer::timeout, this, [this] { PaintHeldChanges(); });
}

CProgressDlg::~CProgressDlg() {
    if (HasWindow())
        DestroyWindow();
    ReEnableOwner();
}

BOOL CProgressDlg::Create(QWidget* pParent) {
    // The safe owner: the parent's window, else the application's main window.
    QWidget* pOwner = pParent != nullptr ? pParent->window() : AfxGetMainWnd();
    m_pParentWnd = pOwner;
    if (pOwner != nullptr && pOwner->isEnabled()) {
        pOwner->setEnabled(false);
        m_bOwnerDisabled = TRUE;
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
    if (auto pBar = qobject_cast<QProgressBar*>(GetDlgItem(IDC_PROGRESS)))
        pBar->setValue(m_nLower);
    setWindowTitle(QString::fromStdString(LoadStringResource(m_nCaptionID)));
    return TRUE;
}

BOOL CProgressDlg::DestroyWindow() {
    ReEnableOwner();
    // A later Create starts with painting on.
    m_frame.stop();
    setUpdatesEnabled(true);
    return CDialog::DestroyWindow();
}

void CProgressDlg::SetStatusText(const std::string& text) {
    ContentChanged();
    SetDlgItemText(IDC_STATUS, text);
}

void CProgressDlg::ContentChanged() {
    if (!HasWindow())
        return;
    // The controls take every change at once; only their painting waits.
    if (!m_frame.isActive()) {
        m_bFramePainted = false; // this change is the new frame's paint
        m_frame.start();
    } else if (m_bFramePainted) {
        setUpdatesEnabled(false);
    }
}

void CProgressDlg::PaintHeldChanges() {
    if (updatesEnabled())
        return; // nothing held: the window is idle until the next change
    // Turning updates back on repaints the whole window at the next pump;
    // that paint opens the next frame. A repaint request Qt handled while
    // updates were off left its dirty widgets without a request to come, so
    // one is asked for here.
    setUpdatesEnabled(true);
    QCoreApplication::postEvent(this, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
    m_bFramePainted = false;
    m_frame.start();
}

void CProgressDlg::PaintBeforeBlocking() {
    if (!HasWindow() || !m_frame.isActive())
        return; // idle: everything shown has been painted
    setUpdatesEnabled(true);
    repaint(); // paints and sends it to the display, before the thread blocks
}

void CProgressDlg::paintEvent(QPaintEvent* pEvent) {
    m_bFramePainted = true;
    CDialog::paintEvent(pEvent);
}

void CProgressDlg::SetRange(int nLower, int nUpper) {
    m_nLower = nLower;
    m_nUpper = nUpper;
    // The bar keeps its position, brought inside the new range.
    if (m_nPos > nUpper)
        m_nPos = nUpper;
    if (m_nPos < nLower)
        m_nPos = nLower;
    if (auto pBar = qobject_cast<QProgressBar*>(GetDlgItem(IDC_PROGRESS))) {
        // An empty range would make QProgressBar a busy indicator.
        pBar->setRange(nLower, nUpper > nLower ? nUpper : nLower + 1);
        pBar->setValue(qBound(nLower, m_nPos, pBar->maximum()));
    }
}

void CProgressDlg::SetStep(int nStep) {
    m_nStep = nStep;
}

int CProgressDlg::StepIt() {
    auto pBar = qobject_cast<QProgressBar*>(GetDlgItem(IDC_PROGRESS));
    if (pBar == nullptr)
        return m_nLower;
    PumpMessages();
    // The window may have gone while events were delivered.
    pBar = qobject_cast<QProgressBar*>(GetDlgItem(IDC_PROGRESS));
    if (pBar == nullptr)
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
    pBar->setValue(m_nPos);

    UpdatePercent(
        static_cast<int>(static_cast<uint32_t>(nOldPos) + static_cast<uint32_t>(m_nStep)));
    return nOldPos;
}

void CProgressDlg::PumpMessages() {
    // Everything pending, our posted messages included; never waits. Posted
    // events are sent first: a step run from inside a posted event (a queued
    // call) would not get them from a nested processEvents on every dispatcher.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
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
    if (m_bOwnerDisabled && m_pParentWnd)
        m_pParentWnd->setEnabled(true);
    m_bOwnerDisabled = FALSE;
}
