// The Win32 names of the user-interface layer that both platforms share:
// the icon handle and the list view's column formats, extended styles and
// item states, with their Win32 values.
#pragma once

#include "WinTypes.h"

// An icon, as LoadIcon gives it. Declared as <windows.h> declares it, so
// both declarations name one type.
struct HICON__;
typedef HICON__* HICON;

constexpr int LVCFMT_LEFT = 0x0000;
constexpr int LVCFMT_RIGHT = 0x0001;
constexpr int LVCFMT_CENTER = 0x0002;

constexpr DWORD LVS_EX_GRIDLINES = 0x00000001;
constexpr DWORD LVS_EX_FULLROWSELECT = 0x00000020;

constexpr UINT LVNI_ALL = 0x0000;
constexpr UINT LVNI_SELECTED = 0x0002;
