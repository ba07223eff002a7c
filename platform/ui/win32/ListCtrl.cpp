#include "ListCtrl.h"

#include "UiApi.h"

DWORD CListCtrl::SetExtendedStyle(DWORD dwExStyle) {
    return Win32Ui::ListSetExtendedStyle(m_hWnd, dwExStyle);
}

int CListCtrl::InsertColumn(int nCol, const std::string& heading, int nFormat, int nWidth) {
    return Win32Ui::ListInsertColumn(m_hWnd, nCol, heading, nFormat, nWidth);
}

int CListCtrl::InsertItem(int nItem, const std::string& text) {
    return Win32Ui::ListInsertItem(m_hWnd, nItem, text);
}

BOOL CListCtrl::SetItemText(int nItem, int nSubItem, const std::string& text) {
    return Win32Ui::ListSetItemText(m_hWnd, nItem, nSubItem, text) ? TRUE : FALSE;
}

std::string CListCtrl::GetItemText(int nItem, int nSubItem) const {
    return Win32Ui::ListGetItemText(m_hWnd, nItem, nSubItem);
}

int CListCtrl::GetItemCount() const {
    return m_hWnd != 0 ? Win32Ui::ListGetItemCount(m_hWnd) : 0;
}

BOOL CListCtrl::DeleteAllItems() {
    return Win32Ui::ListDeleteAllItems(m_hWnd) ? TRUE : FALSE;
}

int CListCtrl::GetNextItem(int nItem, UINT nFlags) const {
    return Win32Ui::ListGetNextItem(m_hWnd, nItem, nFlags);
}
