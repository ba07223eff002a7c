// Dialog templates as data: what a Win32 resource script held for each
// dialog, read by CDialog to build and lay out its window.
#pragma once

#include "WinTypes.h"

// Window and control styles the templates use (Win32 values).
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_CAPTION = 0x00C00000;
constexpr DWORD WS_BORDER = 0x00800000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_GROUP = 0x00020000;
constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
constexpr DWORD WS_TABSTOP = 0x00010000;
constexpr DWORD DS_MODALFRAME = 0x0080;
constexpr DWORD DS_SETFONT = 0x0040;
constexpr DWORD WS_EX_APPWINDOW = 0x00040000;

constexpr DWORD BS_PUSHBUTTON = 0x0000;
constexpr DWORD BS_DEFPUSHBUTTON = 0x0001;
constexpr DWORD SS_LEFT = 0x0000;
constexpr DWORD LVS_REPORT = 0x0001;
constexpr DWORD LVS_SINGLESEL = 0x0004;
constexpr DWORD LVS_SHOWSELALWAYS = 0x0008;
constexpr DWORD LVS_SORTASCENDING = 0x0010;

// Control class names of the templates.
constexpr char WC_BUTTON[] = "Button";
constexpr char WC_STATIC[] = "Static";
constexpr char WC_IPADDRESS[] = "SysIPAddress32";
constexpr char WC_PROGRESS[] = "msctls_progress32";
constexpr char WC_LISTVIEW[] = "SysListView32";

constexpr int IDC_STATIC = -1;

struct CDlgItemTemplate {
    int nID;
    const char* pszClass;
    const char* pszText;
    short x, y, cx, cy; // dialog units
    DWORD dwStyle;
};

struct CDlgTemplate {
    UINT nID;
    const char* pszCaption;
    const char* pszFaceName;
    int nPointSize;
    short cx, cy; // dialog units
    DWORD dwStyle;
    DWORD dwExStyle;
    const CDlgItemTemplate* pItems; // in tab order
    int nItems;
};
