#include "UiApi.h"

#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>

// The names of this file's functions that <windows.h> makes macros of.
#undef GetOpenFileName
#undef GetWindowText
#undef MessageBox
#undef SendMessage
#undef SetWindowText

#include <vector>

namespace Win32Ui {

namespace {

HWND H(Hwnd hWnd) {
    return reinterpret_cast<HWND>(hWnd);
}
Hwnd U(HWND hWnd) {
    return reinterpret_cast<Hwnd>(hWnd);
}

std::wstring Wide(const std::string& text) {
    if (text.empty())
        return std::wstring();
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

std::string Utf8(const wchar_t* pText, int nLength) {
    if (nLength <= 0)
        return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, pText, nLength, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, pText, nLength, text.data(), n, nullptr, nullptr);
    return text;
}

// What a dialog's DWLP_USER holds: whom its messages go to. A modal
// dialog's lives on the stack of its DialogBoxParam call; a modeless one's
// goes with its window once CreateDialogParam has made it, or at once when
// it made none.
struct CDialogBinding {
    void* pOwner;
    DialogProc pfnProc;
    bool bOwnedByWindow = false;
};

INT_PTR CALLBACK DialogTrampoline(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG)
        SetWindowLongPtrW(hDlg, DWLP_USER, lParam);
    auto* pBinding = reinterpret_cast<CDialogBinding*>(GetWindowLongPtrW(hDlg, DWLP_USER));
    if (pBinding == nullptr)
        return FALSE;
    const INT_PTR nResult = pBinding->pfnProc(pBinding->pOwner, U(hDlg), message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hDlg, DWLP_USER, 0);
        if (pBinding->bOwnedByWindow)
            delete pBinding;
    }
    return nResult;
}

HINSTANCE Instance() {
    return GetModuleHandleW(nullptr);
}

} // namespace

void InitCommonControls() {
    INITCOMMONCONTROLSEX icc{};
    icc.dwSize = sizeof icc;
    icc.dwICC =
        ICC_INTERNET_CLASSES | ICC_PROGRESS_CLASS | ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&icc);
}

intptr_t RunModalDialog(unsigned nTemplateID, Hwnd hOwner, void* pOwner, DialogProc pfnProc) {
    CDialogBinding binding{pOwner, pfnProc};
    return DialogBoxParamW(Instance(), MAKEINTRESOURCEW(nTemplateID), H(hOwner), DialogTrampoline,
                           reinterpret_cast<LPARAM>(&binding));
}

Hwnd CreateModelessDialog(unsigned nTemplateID, Hwnd hOwner, void* pOwner, DialogProc pfnProc) {
    auto* pBinding = new CDialogBinding{pOwner, pfnProc};
    HWND hDlg = CreateDialogParamW(Instance(), MAKEINTRESOURCEW(nTemplateID), H(hOwner),
                                   DialogTrampoline, reinterpret_cast<LPARAM>(pBinding));
    if (hDlg != nullptr)
        pBinding->bOwnedByWindow = true;
    else
        delete pBinding;
    return U(hDlg);
}

void EndDialog(Hwnd hDlg, intptr_t nResult) {
    ::EndDialog(H(hDlg), nResult);
}

bool DestroyWindow(Hwnd hWnd) {
    return ::DestroyWindow(H(hWnd)) != FALSE;
}

void* DialogOwner(Hwnd hDlg) {
    auto* pBinding = reinterpret_cast<CDialogBinding*>(GetWindowLongPtrW(H(hDlg), DWLP_USER));
    return pBinding != nullptr ? pBinding->pOwner : nullptr;
}

int GetDefaultButton(Hwnd hDlg) {
    const LRESULT nDef = ::SendMessageW(H(hDlg), DM_GETDEFID, 0, 0);
    return HIWORD(nDef) == DC_HASDEFID ? LOWORD(nDef) : 0;
}

Hwnd GetDlgItem(Hwnd hDlg, int nID) {
    return U(::GetDlgItem(H(hDlg), nID));
}

void SetWindowText(Hwnd hWnd, const std::string& text) {
    SetWindowTextW(H(hWnd), Wide(text).c_str());
}

std::string GetWindowText(Hwnd hWnd) {
    const int nLength = GetWindowTextLengthW(H(hWnd));
    std::vector<wchar_t> buffer(static_cast<size_t>(nLength) + 1);
    const int n = GetWindowTextW(H(hWnd), buffer.data(), nLength + 1);
    return Utf8(buffer.data(), n);
}

bool EnableWindow(Hwnd hWnd, bool bEnable) {
    return ::EnableWindow(H(hWnd), bEnable ? TRUE : FALSE) != FALSE;
}

bool IsWindowEnabled(Hwnd hWnd) {
    return ::IsWindowEnabled(H(hWnd)) != FALSE;
}

bool IsWindowVisible(Hwnd hWnd) {
    return ::IsWindowVisible(H(hWnd)) != FALSE;
}

void ShowWindow(Hwnd hWnd, bool bShow) {
    ::ShowWindow(H(hWnd), bShow ? SW_SHOW : SW_HIDE);
}

void UpdateWindow(Hwnd hWnd) {
    // The controls are windows of their own: their paints are due too.
    RedrawWindow(H(hWnd), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void CenterWindow(Hwnd hWnd) {
    HWND hOwner = GetWindow(H(hWnd), GW_OWNER);
    RECT area;
    if (hOwner != nullptr && ::IsWindowVisible(hOwner) && !IsIconic(hOwner))
        GetWindowRect(hOwner, &area);
    else
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    RECT rect;
    GetWindowRect(H(hWnd), &rect);
    const int x = (area.left + area.right - (rect.right - rect.left)) / 2;
    const int y = (area.top + area.bottom - (rect.bottom - rect.top)) / 2;
    SetWindowPos(H(hWnd), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

Hwnd GetRootWindow(Hwnd hWnd) {
    return U(GetAncestor(H(hWnd), GA_ROOT));
}

Hwnd GetActiveWindow() {
    return U(::GetActiveWindow());
}

intptr_t SendMessage(Hwnd hWnd, unsigned message, uintptr_t wParam, intptr_t lParam) {
    return ::SendMessageW(H(hWnd), message, wParam, lParam);
}

void* LoadAppIcon(unsigned nID) {
    return LoadIconW(Instance(), MAKEINTRESOURCEW(nID));
}

void SetIcon(Hwnd hWnd, void* hIcon, bool bBigIcon) {
    ::SendMessageW(H(hWnd), WM_SETICON, bBigIcon ? ICON_BIG : ICON_SMALL,
                   reinterpret_cast<LPARAM>(hIcon));
}

void SetWaitCursor(bool bBusy) {
    // IDC_WAIT and IDC_ARROW, as wide resource names.
    SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(bBusy ? 32514 : 32512)));
}

void PumpWaitingMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        HWND hRoot = msg.hwnd != nullptr ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
        wchar_t className[16] = {};
        if (hRoot != nullptr && GetClassNameW(hRoot, className, 16) > 0 &&
            lstrcmpW(className, L"#32770") == 0 && IsDialogMessageW(hRoot, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

int MessageBox(Hwnd hOwner, const std::string& text, const std::string& caption, unsigned nType) {
    return MessageBoxW(H(hOwner), Wide(text).c_str(), Wide(caption).c_str(), nType);
}

bool GetOpenFileName(Hwnd hOwner, const std::string& filter, const std::string& initialName,
                     uint32_t dwFlags, std::string* pPath) {
    // "Name|pattern|...||": every bar a terminating zero, as MFC turns it.
    std::wstring wFilter = Wide(filter);
    for (wchar_t& c : wFilter)
        if (c == L'|')
            c = L'\0';
    wFilter.push_back(L'\0');
    std::vector<wchar_t> file(32768, L'\0');
    const std::wstring wName = Wide(initialName);
    if (wName.size() < file.size())
        std::copy(wName.begin(), wName.end(), file.begin());

    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = H(hOwner);
    ofn.lpstrFilter = wFilter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.Flags = dwFlags | OFN_EXPLORER | OFN_HIDEREADONLY;
    if (!GetOpenFileNameW(&ofn))
        return false;
    *pPath = Utf8(file.data(), lstrlenW(file.data()));
    return true;
}

void IpSetAddress(Hwnd hWnd, uint32_t dwAddress) {
    ::SendMessageW(H(hWnd), IPM_SETADDRESS, 0, dwAddress);
}

int IpGetAddress(Hwnd hWnd, uint32_t* pdwAddress) {
    DWORD dwAddress = 0;
    const int n = static_cast<int>(
        ::SendMessageW(H(hWnd), IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&dwAddress)));
    *pdwAddress = dwAddress;
    return n;
}

void IpClearAddress(Hwnd hWnd) {
    ::SendMessageW(H(hWnd), IPM_CLEARADDRESS, 0, 0);
}

bool IpIsBlank(Hwnd hWnd) {
    return ::SendMessageW(H(hWnd), IPM_ISBLANK, 0, 0) != 0;
}

void IpSetFocus(Hwnd hWnd, int nField) {
    ::SendMessageW(H(hWnd), IPM_SETFOCUS, static_cast<WPARAM>(nField), 0);
}

void ProgressSetRange32(Hwnd hWnd, int nLower, int nUpper) {
    ::SendMessageW(H(hWnd), PBM_SETRANGE32, static_cast<WPARAM>(nLower), nUpper);
}

int ProgressSetPos(Hwnd hWnd, int nPos) {
    return static_cast<int>(::SendMessageW(H(hWnd), PBM_SETPOS, static_cast<WPARAM>(nPos), 0));
}

int ProgressGetPos(Hwnd hWnd) {
    return static_cast<int>(::SendMessageW(H(hWnd), PBM_GETPOS, 0, 0));
}

uint32_t ListSetExtendedStyle(Hwnd hWnd, uint32_t dwExStyle) {
    return static_cast<uint32_t>(
        ::SendMessageW(H(hWnd), LVM_SETEXTENDEDLISTVIEWSTYLE, 0, dwExStyle));
}

int ListInsertColumn(Hwnd hWnd, int nCol, const std::string& heading, int nFormat, int nWidth) {
    std::wstring text = Wide(heading);
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_TEXT | LVCF_SUBITEM | (nWidth >= 0 ? LVCF_WIDTH : 0);
    column.fmt = nFormat;
    column.cx = nWidth;
    column.pszText = text.data();
    column.iSubItem = nCol;
    return static_cast<int>(::SendMessageW(H(hWnd), LVM_INSERTCOLUMNW, static_cast<WPARAM>(nCol),
                                           reinterpret_cast<LPARAM>(&column)));
}

int ListInsertItem(Hwnd hWnd, int nItem, const std::string& text) {
    std::wstring wText = Wide(text);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = nItem;
    item.pszText = wText.data();
    return static_cast<int>(
        ::SendMessageW(H(hWnd), LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

bool ListSetItemText(Hwnd hWnd, int nItem, int nSubItem, const std::string& text) {
    std::wstring wText = Wide(text);
    LVITEMW item{};
    item.iSubItem = nSubItem;
    item.pszText = wText.data();
    return ::SendMessageW(H(hWnd), LVM_SETITEMTEXTW, static_cast<WPARAM>(nItem),
                          reinterpret_cast<LPARAM>(&item)) != 0;
}

std::string ListGetItemText(Hwnd hWnd, int nItem, int nSubItem) {
    std::vector<wchar_t> buffer(1024, L'\0');
    LVITEMW item{};
    item.iSubItem = nSubItem;
    item.pszText = buffer.data();
    item.cchTextMax = static_cast<int>(buffer.size());
    const int n = static_cast<int>(::SendMessageW(
        H(hWnd), LVM_GETITEMTEXTW, static_cast<WPARAM>(nItem), reinterpret_cast<LPARAM>(&item)));
    return Utf8(buffer.data(), n);
}

int ListGetItemCount(Hwnd hWnd) {
    return static_cast<int>(::SendMessageW(H(hWnd), LVM_GETITEMCOUNT, 0, 0));
}

bool ListDeleteAllItems(Hwnd hWnd) {
    return ::SendMessageW(H(hWnd), LVM_DELETEALLITEMS, 0, 0) != 0;
}

int ListGetNextItem(Hwnd hWnd, int nItem, unsigned nFlags) {
    return static_cast<int>(
        ::SendMessageW(H(hWnd), LVM_GETNEXTITEM, static_cast<WPARAM>(nItem), nFlags));
}

} // namespace Win32Ui
