// The progress dialog as the firmware procedures see it.
#pragma once

#include "Progress.h"
#include "ProgressDlg.h"

class CDialogProgress : public IProgress {
public:
    explicit CDialogProgress(CProgressDlg& dlg) : m_dlg(dlg) {}

    BOOL Create() override { return m_dlg.Create(nullptr); }
    void SetStep(int nStep) override { m_dlg.SetStep(nStep); }
    void SetRange(int nLower, int nUpper) override { m_dlg.SetRange(nLower, nUpper); }
    void SetStatusText(const std::string& text) override { m_dlg.SetStatusText(text); }
    int StepIt() override { return m_dlg.StepIt(); }
    BOOL DestroyWindow() override { return m_dlg.DestroyWindow(); }

private:
    CProgressDlg& m_dlg;
};
