#include "DialogTemplates.h"

#include <iterator>

namespace {

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;

const CDlgItemTemplate g_mainItems[] = {
    {1055, WC_BUTTON, "Update Program", 40, 62, 74, 19, kChild | BS_PUSHBUTTON | WS_TABSTOP},
    {1052, WC_BUTTON, "Update PFlash", 40, 99, 74, 19, kChild | BS_PUSHBUTTON | WS_GROUP | WS_TABSTOP},
    {IDCANCEL, WC_BUTTON, "Quit", 40, 208, 74, 19, kChild | BS_PUSHBUTTON | WS_GROUP | WS_TABSTOP},
    {IDC_STATIC, WC_STATIC, "IP Address in Terminal:", 14, 11, 85, 8, kChild | SS_LEFT},
    {1010, WC_IPADDRESS, "", 14, 29, 128, 15, kChild | WS_GROUP | WS_TABSTOP},
    {1066, WC_BUTTON, "List Phones", 40, 136, 74, 19, kChild | BS_PUSHBUTTON | WS_GROUP | WS_TABSTOP},
};

const CDlgItemTemplate g_progressItems[] = {
    {1006, WC_STATIC, "", 13, 7, 158, 11, kChild | SS_LEFT},
    {1004, WC_STATIC, " 0 %", 85, 23, 18, 8, kChild | SS_LEFT},
    {1002, WC_PROGRESS, "", 15, 34, 154, 13, kChild | WS_BORDER},
};

const CDlgItemTemplate g_listPhonesItems[] = {
    {1230, WC_LISTVIEW, "", 7, 7, 446, 203,
     kChild | WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_SORTASCENDING},
    {IDOK, WC_BUTTON, "OK", 61, 220, 50, 14, kChild | BS_DEFPUSHBUTTON | WS_TABSTOP},
    {3, WC_BUTTON, "Refresh", 175, 220, 50, 14, kChild | BS_PUSHBUTTON | WS_TABSTOP},
    {IDCANCEL, WC_BUTTON, "Cancel", 289, 220, 50, 14, kChild | BS_PUSHBUTTON | WS_TABSTOP},
};

const CDlgTemplate g_templates[] = {
    {IDD_MAIN_DIALOG, "Orvex Tool Kit", "MS Sans Serif", 8, 162, 242,
     WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME | DS_SETFONT,
     WS_EX_APPWINDOW, g_mainItems, static_cast<int>(std::size(g_mainItems))},
    {IDD_PROGRESS_DIALOG, "", "MS Sans Serif", 8, 186, 66,
     WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_MODALFRAME | DS_SETFONT, 0, g_progressItems,
     static_cast<int>(std::size(g_progressItems))},
    {IDD_LIST_PHONES, "List Phones", "System", 10, 460, 241,
     WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT, 0, g_listPhonesItems,
     static_cast<int>(std::size(g_listPhonesItems))},
};

} // namespace

const CDlgTemplate* FindDialogTemplate(UINT nID) {
    for (const CDlgTemplate& t : g_templates)
        if (t.nID == nID)
            return &t;
    return nullptr;
}
