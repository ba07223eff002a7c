#include "ListCtrl.h"

#include "DialogTemplate.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QItemSelectionModel>

#include <algorithm>
#include <vector>

// The rows and column headings the view shows.
class CListCtrl::CRows : public QAbstractTableModel {
public:
    struct CColumn {
        QString heading;
        Qt::Alignment alignment;
    };
    std::vector<CColumn> m_columns;
    std::vector<std::vector<QString>> m_rows; // one text per column

    int rowCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
    }
    int columnCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount())
            return QVariant();
        if (role == Qt::DisplayRole)
            return m_rows[static_cast<size_t>(index.row())][static_cast<size_t>(index.column())];
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(m_columns[static_cast<size_t>(index.column())].alignment);
        return QVariant();
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
            return QVariant();
        if (role == Qt::DisplayRole)
            return m_columns[static_cast<size_t>(section)].heading;
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(m_columns[static_cast<size_t>(section)].alignment);
        return QVariant();
    }
    void InsertColumn(int nCol, const CColumn& column) {
        beginInsertColumns(QModelIndex(), nCol, nCol);
        m_columns.insert(m_columns.begin() + nCol, column);
        for (auto& row : m_rows)
            row.insert(row.begin() + nCol, QString());
        endInsertColumns();
    }
    void InsertRow(int nRow, const QString& text) {
        beginInsertRows(QModelIndex(), nRow, nRow);
        std::vector<QString> row(m_columns.size());
        if (!row.empty())
            row[0] = text;
        m_rows.insert(m_rows.begin() + nRow, std::move(row));
        endInsertRows();
    }
    void SetText(int nRow, int nCol, const QString& text) {
        m_rows[static_cast<size_t>(nRow)][static_cast<size_t>(nCol)] = text;
        emit dataChanged(index(nRow, nCol), index(nRow, nCol));
    }
    void Clear() {
        if (m_rows.empty())
            return;
        beginResetModel();
        m_rows.clear();
        endResetModel();
    }
};

CListCtrl::CListCtrl(QWidget* pParent) : QTableView(pParent), m_pRows(std::make_unique<CRows>()) {
    setModel(m_pRows.get());
    // A report view: no row headers, fixed rows, text never edited in place.
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setHighlightSections(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setShowGrid(false);
    setSelectionBehavior(QAbstractItemView::SelectItems);
}

CListCtrl::~CListCtrl() {
    // The view goes before its rows.
    setModel(nullptr);
}

void CListCtrl::OnBind(DWORD dwStyle) {
    // Each window has a control of its own: the last one's columns and
    // items go.
    auto pRows = std::make_unique<CRows>();
    setModel(pRows.get());
    m_pRows = std::move(pRows);
    SetExtendedStyle(0);
    setSelectionMode((dwStyle & LVS_SINGLESEL) ? QAbstractItemView::SingleSelection
                                               : QAbstractItemView::ExtendedSelection);
    setFocusPolicy((dwStyle & WS_TABSTOP) ? Qt::StrongFocus : Qt::ClickFocus);
}

DWORD CListCtrl::SetExtendedStyle(DWORD dwExStyle) {
    const DWORD dwOld = m_dwExStyle;
    m_dwExStyle = dwExStyle;
    setShowGrid((dwExStyle & LVS_EX_GRIDLINES) != 0);
    setSelectionBehavior((dwExStyle & LVS_EX_FULLROWSELECT) ? QAbstractItemView::SelectRows
                                                            : QAbstractItemView::SelectItems);
    return dwOld;
}

int CListCtrl::InsertColumn(int nCol, const std::string& heading, int nFormat, int nWidth) {
    nCol = std::max(0, std::min(nCol, static_cast<int>(m_pRows->m_columns.size())));
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    if (nFormat & LVCFMT_CENTER)
        alignment = Qt::AlignCenter;
    else if (nFormat & LVCFMT_RIGHT)
        alignment = Qt::AlignRight | Qt::AlignVCenter;
    m_pRows->InsertColumn(nCol, {QString::fromStdString(heading), alignment});
    if (nWidth >= 0)
        setColumnWidth(nCol, nWidth);
    return nCol;
}

int CListCtrl::InsertItem(int nItem, const std::string& text) {
    nItem = std::max(0, std::min(nItem, GetItemCount()));
    m_pRows->InsertRow(nItem, QString::fromStdString(text));
    return nItem;
}

BOOL CListCtrl::SetItemText(int nItem, int nSubItem, const std::string& text) {
    if (nItem < 0 || nItem >= GetItemCount() || nSubItem < 0 || nSubItem >= m_pRows->columnCount())
        return FALSE;
    m_pRows->SetText(nItem, nSubItem, QString::fromStdString(text));
    return TRUE;
}

std::string CListCtrl::GetItemText(int nItem, int nSubItem) const {
    if (nItem < 0 || nItem >= GetItemCount() || nSubItem < 0 || nSubItem >= m_pRows->columnCount())
        return std::string();
    return m_pRows->m_rows[static_cast<size_t>(nItem)][static_cast<size_t>(nSubItem)].toStdString();
}

int CListCtrl::GetItemCount() const {
    return m_pRows->rowCount();
}

BOOL CListCtrl::DeleteAllItems() {
    m_pRows->Clear();
    return TRUE;
}

int CListCtrl::GetNextItem(int nItem, UINT nFlags) const {
    const int nCount = GetItemCount();
    for (int i = nItem + 1; i < nCount; ++i) {
        if (!(nFlags & LVNI_SELECTED) || selectionModel()->rowIntersectsSelection(i, QModelIndex()))
            return i;
    }
    return -1;
}
