// The firmware commands of the main dialog: the procedures run with the
// dialog's progress window, link fields, profile and busy cursor.
#include "MainDlg.h"

#include "DialogProgress.h"
#include "FirmwareUpdate.h"

namespace {

void SetBusyCursor(bool bBusy) {
    if (bBusy)
        BeginWaitCursor();
    else
        EndWaitCursor();
}

} // namespace

template <typename Fn> auto CMainDlg::RunFirmwareUpdate(Fn fn) {
    CDialogProgress progress(m_ProgressDlg);
    CFirmwareUpdate update(progress, m_pRj45Thread, m_dwRj45ThreadId);
    update.m_fnSaveProfile = [this] { SaveProfile(); };
    update.m_nCommType = m_nCommType;
    update.m_fnBusyCursor = SetBusyCursor;
    return fn(update);
}

BOOL CMainDlg::UploadBlocks(const BYTE* pData, int nLength, DWORD dwCode) {
    return RunFirmwareUpdate(
        [&](CFirmwareUpdate& u) { return u.UploadBlocks(pData, nLength, dwCode); });
}

void CMainDlg::WriteFlashPage(const BYTE* pImage, int nLength) {
    RunFirmwareUpdate([&](CFirmwareUpdate& u) { return u.WriteFlashPage(pImage, nLength); });
}

void CMainDlg::OnUpdateProgram() {
    RunFirmwareUpdate([](CFirmwareUpdate& u) { return u.UpdateProgram(); });
}

void CMainDlg::OnUpdatePFlash() {
    RunFirmwareUpdate([](CFirmwareUpdate& u) { return u.UpdatePFlash(); });
}
