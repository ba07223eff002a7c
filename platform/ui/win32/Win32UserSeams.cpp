#include "Win32UserSeams.h"

#include "UiApi.h"
#include "Wnd.h"

namespace {

// The owner of a box or file dialog: the window the user is looking at.
uintptr_t CurrentOwner() {
    if (const uintptr_t hActive = Win32Ui::GetActiveWindow())
        return hActive;
    CWnd* pMain = AfxGetMainWnd();
    return pMain != nullptr ? pMain->m_hWnd : 0;
}

} // namespace

int CWin32UserSeams::MessageBox(const std::string& text, UINT nType) {
    return Win32Ui::MessageBox(CurrentOwner(), text, "OrvexToolKit", nType);
}

bool CWin32UserSeams::OpenFile(const COpenFileRequest& request, std::string* pPath) {
    return Win32Ui::GetOpenFileName(CurrentOwner(), request.filter, request.initialName,
                                    request.flags, pPath);
}
