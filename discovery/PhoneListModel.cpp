#include "PhoneListModel.h"

CPhoneListModel::CPhoneListModel(CPhoneRows& rows, QObject* pParent)
    : QAbstractTableModel(pParent), m_rows(rows) {
    m_rows.AddListener(this);
}

CPhoneListModel::~CPhoneListModel() {
    m_rows.RemoveListener(this);
}

void CPhoneListModel::OnRowInserting(int nRow) {
    beginInsertRows(QModelIndex(), nRow, nRow);
}

void CPhoneListModel::OnRowInserted(int) {
    endInsertRows();
}

void CPhoneListModel::OnRowChanged(int nRow) {
    emit dataChanged(index(nRow, 0), index(nRow, kColumns - 1));
}

void CPhoneListModel::OnRowsResetting() {
    beginResetModel();
}

void CPhoneListModel::OnRowsReset() {
    endResetModel();
}

int CPhoneListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows.GetItemCount();
}

int CPhoneListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant CPhoneListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rows.GetItemCount())
        return QVariant();
    if (role == Qt::DisplayRole) {
        const std::string& text = Row(index.row())[static_cast<size_t>(index.column())];
        return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    }
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    return QVariant();
}

QVariant CPhoneListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumns)
        return QVariant();
    if (role == Qt::DisplayRole)
        return QString::fromLatin1(Heading(section));
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    return QVariant();
}
