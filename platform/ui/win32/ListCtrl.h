// The Windows side of CListCtrl in report view: the common control
// "SysListView32". Texts are UTF-8.
#pragma once

#include "Wnd.h"

#include <string>

class CListCtrl : public CWnd {
public:
    // LVS_EX_GRIDLINES, LVS_EX_FULLROWSELECT; returns the previous styles.
    DWORD SetExtendedStyle(DWORD dwExStyle);
    int InsertColumn(int nCol, const std::string& heading, int nFormat = LVCFMT_LEFT,
                     int nWidth = -1);
    // An item with text in column 0, at nItem or, in a sorted list, at its
    // sorted place; returns its index, -1 on failure.
    int InsertItem(int nItem, const std::string& text);
    BOOL SetItemText(int nItem, int nSubItem, const std::string& text);
    std::string GetItemText(int nItem, int nSubItem) const;
    int GetItemCount() const;
    BOOL DeleteAllItems();
    // The first item after nItem (-1: from the start) with the state nFlags
    // (LVNI_SELECTED), or -1.
    int GetNextItem(int nItem, UINT nFlags) const;
};
