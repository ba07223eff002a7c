// The modeless progress window of the firmware procedures: status line, bar
// and percentage. It disables its owner while it exists.
#pragma once

#include "BeforeBlockHook.h"
#include "Dialog.h"

#include <QTimer>

#include <string>

class QProgressBar;

class CProgressDlg : public CDialog {
    Q_OBJECT
public:
    explicit CProgressDlg(UINT nCaptionID = 0);
    ~CProgressDlg() override;

    BOOL Create(QWidget* pParent = nullptr) override;
    BOOL DestroyWindow() override;
    void SetStatusText(const std::string& text);
    void SetRange(int nLower, int nUpper);
    void SetStep(int nStep);
    // Pumps pending events, advances the bar and returns its old position.
    int StepIt();
    // Without a window (never created, or Create failed) every operation
    // above only updates the stored bounds and step, and StepIt returns the
    // lower bound.

protected:
    BOOL OnInitDialog() override;
    void paintEvent(QPaintEvent* pEvent) override;
    void OnOK() override {}
    void OnCancel() override {}

private:
    void PumpMessages();
    void UpdatePercent(int nPos);
    void ReEnableOwner();
    void ContentChanged();
    void PaintHeldChanges();
    void PaintBeforeBlocking();

    UINT m_nCaptionID;
    int m_nLower = 0;
    int m_nUpper = 100;
    int m_nStep = 1;
    BOOL m_bOwnerDisabled = FALSE;
    // The bar's position, kept here because QProgressBar refuses a value
    // outside an empty range, which the Windows bar stores.
    int m_nPos = 0;
    // A block upload changes the window thousands of times a second; it is
    // painted at most once a frame. The timer runs while a frame is open;
    // once the frame has had its paint, further changes are held (updates
    // off) and painted as the next frame's, when this one ends.
    QTimer m_frame;
    bool m_bFramePainted = false;
    // The procedures block the UI thread in their waits right after a step;
    // what the frame holds is painted before, or it would not be seen until
    // the wait ends (5 s for an erase).
    CBeforeBlockHook m_beforeBlock;
};
