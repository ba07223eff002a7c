// The modeless progress window of the firmware procedures: status line, bar
// and percentage. It disables its owner while it exists.
#pragma once

#include "Dialog.h"
#include "ProgressCtrl.h"

#include <string>

class CProgressDlg : public CDialog {
public:
    explicit CProgressDlg(UINT nCaptionID = 0);
    ~CProgressDlg() override;

    BOOL Create(CWnd* pParent = nullptr) override;
    BOOL DestroyWindow() override;
    void SetStatusText(const std::string& text);
    void SetRange(int nLower, int nUpper);
    void SetStep(int nStep);
    // Pumps pending events, advances the bar and returns its old position.
    int StepIt();
    // Without a window (never created, or Create failed) every operation
    // above only updates the stored bounds and step, and StepIt returns the
    // lower bound.

    // The bar 1002.
    CProgressCtrl m_Progress;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnOK() override {}
    void OnCancel() override {}

private:
    void UpdatePercent(int nPos);
    void ReEnableOwner();

    UINT m_nCaptionID;
    int m_nLower = 0;
    int m_nUpper = 100;
    int m_nStep = 1;
    // The window disabled by Create, while it is.
    CWnd* m_pOwnerWnd = nullptr;
    // The bar's position as the procedure steps it.
    int m_nPos = 0;
};
