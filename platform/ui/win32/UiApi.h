// Internal to the Windows side of the user-interface layer: the real Win32
// calls it makes, reached through plain C++ types. Like platform/win32's
// Win32Api.h, and for the same reason (the shared headers define Win32 names
// that clash with <windows.h>), only UiApi.cpp includes <windows.h>. Texts
// are UTF-8 here and UTF-16 for the wide calls.
#pragma once

#include <cstdint>
#include <string>

namespace Win32Ui {

typedef uintptr_t Hwnd;

// A dialog's messages go to pfnProc(pOwner, ...) from WM_INITDIALOG on; the
// result is the dialog procedure's.
typedef intptr_t (*DialogProc)(void* pOwner, Hwnd hDlg, unsigned message, uintptr_t wParam,
                               intptr_t lParam);

// InitCommonControlsEx for the IP address, progress and list view classes.
void InitCommonControls();

// DialogBoxParam with the DIALOG resource nTemplateID: returns the result
// given to EndDialog, or -1 when the window could not be made.
intptr_t RunModalDialog(unsigned nTemplateID, Hwnd hOwner, void* pOwner, DialogProc pfnProc);
// CreateDialogParam with the DIALOG resource nTemplateID; 0 on failure.
Hwnd CreateModelessDialog(unsigned nTemplateID, Hwnd hOwner, void* pOwner, DialogProc pfnProc);
void EndDialog(Hwnd hDlg, intptr_t nResult);
bool DestroyWindow(Hwnd hWnd);
// The window of a dialog proc's owner, whose value was the last argument of
// the two calls above.
void* DialogOwner(Hwnd hDlg);
// The default push button's id (DM_GETDEFID), or 0 when there is none.
int GetDefaultButton(Hwnd hDlg);

Hwnd GetDlgItem(Hwnd hDlg, int nID);
void SetWindowText(Hwnd hWnd, const std::string& text);
std::string GetWindowText(Hwnd hWnd);
// Returns true when the window was disabled before.
bool EnableWindow(Hwnd hWnd, bool bEnable);
bool IsWindowEnabled(Hwnd hWnd);
bool IsWindowVisible(Hwnd hWnd);
void ShowWindow(Hwnd hWnd, bool bShow);
// Paints what is due in the window and its controls, now.
void UpdateWindow(Hwnd hWnd);
// Centres the window over its owner, or over the screen's work area when it
// has no visible owner.
void CenterWindow(Hwnd hWnd);
Hwnd GetRootWindow(Hwnd hWnd);
// The window the user is looking at: the active one, or 0.
Hwnd GetActiveWindow();
intptr_t SendMessage(Hwnd hWnd, unsigned message, uintptr_t wParam, intptr_t lParam);

// LoadIcon from the program's resources; null when there is none.
void* LoadAppIcon(unsigned nID);
void SetIcon(Hwnd hWnd, void* hIcon, bool bBigIcon);
void SetWaitCursor(bool bBusy);

// PeekMessage until the queue is empty: each message through the modeless
// dialog it belongs to (IsDialogMessage) or TranslateMessage and
// DispatchMessage. A WM_QUIT is put back for the loop that waits for it.
void PumpWaitingMessages();

int MessageBox(Hwnd hOwner, const std::string& text, const std::string& caption, unsigned nType);
// GetOpenFileName: the filter as "Name|pattern|...||", the offered name,
// the OFN_ flags; true with the chosen full path.
bool GetOpenFileName(Hwnd hOwner, const std::string& filter, const std::string& initialName,
                     uint32_t dwFlags, std::string* pPath);

// The common controls' messages.
void IpSetAddress(Hwnd hWnd, uint32_t dwAddress);
int IpGetAddress(Hwnd hWnd, uint32_t* pdwAddress);
void IpClearAddress(Hwnd hWnd);
bool IpIsBlank(Hwnd hWnd);
void IpSetFocus(Hwnd hWnd, int nField);
void ProgressSetRange32(Hwnd hWnd, int nLower, int nUpper);
int ProgressSetPos(Hwnd hWnd, int nPos);
int ProgressGetPos(Hwnd hWnd);
uint32_t ListSetExtendedStyle(Hwnd hWnd, uint32_t dwExStyle);
int ListInsertColumn(Hwnd hWnd, int nCol, const std::string& heading, int nFormat, int nWidth);
int ListInsertItem(Hwnd hWnd, int nItem, const std::string& text);
bool ListSetItemText(Hwnd hWnd, int nItem, int nSubItem, const std::string& text);
std::string ListGetItemText(Hwnd hWnd, int nItem, int nSubItem);
int ListGetItemCount(Hwnd hWnd);
bool ListDeleteAllItems(Hwnd hWnd);
int ListGetNextItem(Hwnd hWnd, int nItem, unsigned nFlags);

} // namespace Win32Ui
