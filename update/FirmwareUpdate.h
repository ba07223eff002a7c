// The firmware procedures: the stop-and-wait block upload, Update Program
// with its post-update check, and Update PFlash. They reach the user only
// through the user seams (message boxes, the file choice, waits), the
// progress interface and the profile, so the main dialog and orvex run the
// same code.
#pragma once

#include "LinkTimeouts.h"
#include "Progress.h"
#include "WinTypes.h"

#include <functional>
#include <string>

class CRj45Thread;

// How a command ended; the text the user was given went through the seams.
enum class EUpdateOutcome {
    Cancelled,     // no file chosen, or the flash-page question answered No
    Failed,        // a message box said why
    Updating,      // program: no connection within the check, the phone began its update
    InvalidMethod, // program: the phone still takes connections after the image
    Written,       // flash page: sent and the erase wait is over
};

class CFirmwareUpdate {
public:
    // The link fields are the caller's (the main dialog's m_pRj45Thread and
    // the worker's thread id), so a command and the dialog see one link.
    CFirmwareUpdate(IProgress& progress, CRj45Thread*& pRj45Thread, DWORD& dwRj45ThreadId);

    // Run once a file has been chosen, before anything is read from it.
    std::function<void()> m_fnSaveProfile;
    // "Comm"/"Type" as the caller holds it; only 1 (TCP/IP) can update.
    int m_nCommType = 1;
    // Called with true while a HEX file is read, then false: a busy cursor.
    std::function<void(bool)> m_fnBusyCursor;
    // Called once the phone has acknowledged the finishing byte: from then
    // on it installs what it got, whatever the procedure does next.
    std::function<void()> m_fnFinishingByteAcknowledged;
    // The waits; the windowed tool keeps the defaults.
    CLinkTimeouts m_timeouts;

    BOOL UploadBlocks(const BYTE* pData, int nLength, DWORD dwCode);
    EUpdateOutcome UpdateProgram();
    EUpdateOutcome UpdatePFlash();
    BOOL WriteFlashPage(const BYTE* pImage, int nLength);

private:
    // Offers the section's last file ("SrcName"), keeps the choice there and
    // saves the profile; false when no file was chosen.
    bool ChooseFile(const char* pszSection, const char* pszDefault, const char* pszExt,
                    const char* pszFilter, std::string* pPath);
    void SaveProfile();
    void StopLink();
    // Posts one message of the upload and waits for its answer; false when
    // none came in time or the run was stopped, before or during the wait.
    bool Exchange(UINT nMessage, WPARAM wParam, LPARAM lParam);

    IProgress& m_progress;
    CRj45Thread*& m_pRj45Thread;
    DWORD& m_dwRj45ThreadId;
};
