// The Linux side of CListCtrl in report view: the template's
// "SysListView32" as a QTableView over rows of texts. Columns are inserted
// by the owner with their heading, format and pixel width; items are rows,
// sub-items their columns. Texts are UTF-8.
#pragma once

#include "Wnd.h"

#include <QTableView>

#include <memory>
#include <string>

class CListCtrl : public QTableView, public CWnd {
    Q_OBJECT
public:
    explicit CListCtrl(QWidget* pParent = nullptr);
    ~CListCtrl() override;
    QWidget* GetWidget() const override { return const_cast<CListCtrl*>(this); }
    // Starts empty, as a new control; LVS_SINGLESEL gives single selection.
    void OnBind(DWORD dwStyle) override;

    // LVS_EX_GRIDLINES, LVS_EX_FULLROWSELECT; returns the previous styles.
    DWORD SetExtendedStyle(DWORD dwExStyle);
    int InsertColumn(int nCol, const std::string& heading, int nFormat = LVCFMT_LEFT,
                     int nWidth = -1);
    // A row at nItem with text in column 0; returns its index.
    int InsertItem(int nItem, const std::string& text);
    BOOL SetItemText(int nItem, int nSubItem, const std::string& text);
    std::string GetItemText(int nItem, int nSubItem) const;
    int GetItemCount() const;
    BOOL DeleteAllItems();
    // The first item after nItem (-1: from the start) with the state nFlags
    // (LVNI_SELECTED), or -1.
    int GetNextItem(int nItem, UINT nFlags) const;

private:
    class CRows;
    std::unique_ptr<CRows> m_pRows;
    DWORD m_dwExStyle = 0;
};
