// The Windows side of UserInterface.h, on the real Win32 calls.
#include "UserInterface.h"

#include "UiApi.h"
#include "Win32UserSeams.h"

namespace {
int g_nWaitCursors = 0;
} // namespace

struct CUserInterface::CState {
    CWin32UserSeams seams;
};

CUserInterface::CUserInterface(int&, char**) : m_pState(std::make_unique<CState>()) {
    Win32Ui::InitCommonControls();
    SetUserSeams(&m_pState->seams);
}

CUserInterface::~CUserInterface() {
    SetUserSeams(nullptr);
}

HICON AfxLoadIcon(UINT nIDResource) {
    return static_cast<HICON>(Win32Ui::LoadAppIcon(nIDResource));
}

// The profile's key already names the organisation (platform/win32's
// Profile.cpp), as SetRegistryKey made it.
void AfxSetRegistryKey(const char*) {}

void PumpWaitingMessages() {
    Win32Ui::PumpWaitingMessages();
}

void BeginWaitCursor() {
    ++g_nWaitCursors;
    Win32Ui::SetWaitCursor(true);
}

void EndWaitCursor() {
    if (g_nWaitCursors > 0 && --g_nWaitCursors == 0)
        Win32Ui::SetWaitCursor(false);
}
