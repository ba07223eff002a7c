#include "Wnd.h"

#include "UiApi.h"

#include <unordered_map>

namespace {
// The top-level windows, all on the user-interface thread.
std::unordered_map<uintptr_t, CWnd*> g_windows;
} // namespace

CWnd::~CWnd() {
    Detach();
}

void CWnd::Attach(uintptr_t hWnd) {
    m_hWnd = hWnd;
    g_windows[hWnd] = this;
}

void CWnd::Detach() {
    if (m_hWnd != 0) {
        auto found = g_windows.find(m_hWnd);
        if (found != g_windows.end() && found->second == this)
            g_windows.erase(found);
    }
    m_hWnd = 0;
}

BOOL CWnd::EnableWindow(BOOL bEnable) {
    return Win32Ui::EnableWindow(m_hWnd, bEnable != FALSE) ? TRUE : FALSE;
}

BOOL CWnd::IsWindowEnabled() const {
    return m_hWnd != 0 && Win32Ui::IsWindowEnabled(m_hWnd) ? TRUE : FALSE;
}

BOOL CWnd::IsWindowVisible() const {
    return m_hWnd != 0 && Win32Ui::IsWindowVisible(m_hWnd) ? TRUE : FALSE;
}

void CWnd::SetWindowText(const std::string& text) {
    Win32Ui::SetWindowText(m_hWnd, text);
}

std::string CWnd::GetWindowText() const {
    return Win32Ui::GetWindowText(m_hWnd);
}

CWnd* CWnd::GetTopLevelParent() const {
    if (m_hWnd == 0)
        return nullptr;
    auto found = g_windows.find(Win32Ui::GetRootWindow(m_hWnd));
    return found != g_windows.end() ? found->second : nullptr;
}

void CWnd::SetIcon(HICON hIcon, BOOL bBigIcon) {
    if (hIcon != nullptr)
        Win32Ui::SetIcon(m_hWnd, hIcon, bBigIcon != FALSE);
}
