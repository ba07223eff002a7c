#include "Seams.h"

#include "BeforeBlockHook.h"

#include <chrono>
#include <cstdio>
#include <thread>

namespace {

// What a front end without windows does: show the text, pick the safe answer.
class CConsoleSeams : public IUserSeams {
public:
    int MessageBox(const std::string& text, UINT nType) override {
        fprintf(stderr, "OrvexToolKit: %s\n", text.c_str());
        return (nType & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
    }
    bool OpenFile(const COpenFileRequest&, std::string*) override { return false; }
};

CConsoleSeams g_consoleSeams;
IUserSeams* g_pSeams = &g_consoleSeams;

} // namespace

void IUserSeams::Sleep(DWORD dwMilliseconds) {
    if (dwMilliseconds == 0)
        std::this_thread::yield();
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}

void SetUserSeams(IUserSeams* pSeams) { g_pSeams = pSeams != nullptr ? pSeams : &g_consoleSeams; }

IUserSeams* GetUserSeams() { return g_pSeams; }

int AfxMessageBox(const std::string& text, UINT nType) { return g_pSeams->MessageBox(text, nType); }

bool ShowOpenFileDialog(const COpenFileRequest& request, std::string* pPath) {
    return g_pSeams->OpenFile(request, pPath);
}

DWORD ScaleTimeout(DWORD dwMilliseconds) { return g_pSeams->Timeout(dwMilliseconds); }

DWORD WaitForLinkAnswer(HEVENT hEvent, DWORD dwMilliseconds) {
    return g_pSeams->WaitForAnswer(hEvent, ScaleTimeout(dwMilliseconds));
}

bool IsRunStopped() { return g_pSeams->Stopped(); }

void Sleep(DWORD dwMilliseconds) {
    // A pause is long by intent; a yield is not.
    if (dwMilliseconds != 0)
        CBeforeBlockHook::RunAll();
    g_pSeams->Sleep(dwMilliseconds);
}
