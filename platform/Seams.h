// Where the procedures meet the user and the clock: message boxes, the
// open-file dialog, the specified time-outs and pauses. The product installs
// Qt dialogs and real time; tests install scripted answers and shorter waits;
// a console front end would install prompts.
#pragma once

#include "Event.h"
#include "WinTypes.h"

#include <string>

struct COpenFileRequest {
    std::string initialName; // offered as the file name
    std::string defaultExt;  // for example "*.bin"
    std::string filter;      // "Text (*.x)|*.x|All files (*.*)|*.*||"
    DWORD flags = 0;         // OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST
};

constexpr DWORD OFN_PATHMUSTEXIST = 0x0800;
constexpr DWORD OFN_FILEMUSTEXIST = 0x1000;

class IUserSeams {
public:
    virtual ~IUserSeams() = default;
    // Returns the button pressed (IDOK, IDYES, IDNO ...).
    virtual int MessageBox(const std::string& text, UINT nType) = 0;
    // True when the user confirmed a file; *pPath is its full path.
    virtual bool OpenFile(const COpenFileRequest& request, std::string* pPath) = 0;
    // Maps a specified time-out to the one to wait.
    virtual DWORD Timeout(DWORD dwMilliseconds) { return dwMilliseconds; }
    // A pause of the user-interface procedures.
    virtual void Sleep(DWORD dwMilliseconds);
    // Waits for an answer of the link. A front end that can be told to stop
    // ends the wait then as a time-out: a stop never stands for an answer.
    virtual DWORD WaitForAnswer(HEVENT hEvent, DWORD dwMilliseconds) {
        return WaitForSingleObject(hEvent, dwMilliseconds);
    }
    // True once the user has stopped the run: nothing more is sent.
    virtual bool Stopped() { return false; }
};

// Null restores the console defaults (messages to stderr, no file chosen).
void SetUserSeams(IUserSeams* pSeams);
IUserSeams* GetUserSeams();

int AfxMessageBox(const std::string& text, UINT nType = MB_OK);
bool ShowOpenFileDialog(const COpenFileRequest& request, std::string* pPath);
// The wait to use for a specified time-out, such as 10000 ms per block.
DWORD ScaleTimeout(DWORD dwMilliseconds);
// Waits for the link's answer (WAIT_OBJECT_0) up to the wait ScaleTimeout
// gives for dwMilliseconds; WAIT_TIMEOUT when none came or the run was
// stopped.
DWORD WaitForLinkAnswer(HEVENT hEvent, DWORD dwMilliseconds);
// True once the run was stopped (orvex's Ctrl-C); never in the windowed tool.
bool IsRunStopped();
// Sleep(0) yields the processor; a longer pause first runs the thread's
// CBeforeBlockHook hooks.
void Sleep(DWORD dwMilliseconds);
