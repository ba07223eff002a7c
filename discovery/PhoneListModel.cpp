#include "PhoneListModel.h"

#include "Trace.h"

#include <algorithm>

namespace {
struct CColumn {
    const char* pszHeading;
    int nWidth;
};
const CColumn g_columns[CPhoneListModel::kColumns] = {
    {"IP Address", 130}, {"Mac Address", 140},  {"Type & Version", 180},
    {"IP Type", 70},     {"Phone Number", 140}, {"Log on", 60},
    {"Busy", 60},
};

// Byte-wise, as the list compares its item texts.
bool AddressLess(const PhoneTexts* pRow, const std::string& address) {
    return (*pRow)[0] < address;
}
} // namespace

CPhoneListModel::CPhoneListModel(QObject* pParent) : QAbstractTableModel(pParent) {}

CPhoneListModel::~CPhoneListModel() = default;

const char* CPhoneListModel::Heading(int nColumn) {
    return g_columns[nColumn].pszHeading;
}

int CPhoneListModel::Width(int nColumn) {
    return g_columns[nColumn].nWidth;
}

int CPhoneListModel::AddRow(const PhoneTexts& texts) {
    const std::string& address = texts[0];
    auto pos = std::lower_bound(m_rows.begin(), m_rows.end(), address, AddressLess);
    const int nRow = static_cast<int>(pos - m_rows.begin());
    auto found = m_byAddress.find(address);
    if (found != m_byAddress.end()) {
        *found->second = texts;
        emit dataChanged(index(nRow, 0), index(nRow, kColumns - 1));
        if (m_pWatcher != nullptr)
            m_pWatcher->OnRowChanged(nRow);
        return nRow;
    }
    if (GetItemCount() >= kMaxRows) {
        if (!m_bFullReported)
            OutputDebugStringA("Phone list full at " + std::to_string(kMaxRows) +
                               " rows: replies from further addresses dropped\n");
        m_bFullReported = true;
        return -1;
    }
    beginInsertRows(QModelIndex(), nRow, nRow);
    auto pRow = std::make_unique<PhoneTexts>(texts);
    m_rows.insert(pos, pRow.get());
    m_byAddress.emplace(address, std::move(pRow));
    endInsertRows();
    if (m_pWatcher != nullptr)
        m_pWatcher->OnRowInserted(nRow);
    return nRow;
}

void CPhoneListModel::DeleteAllItems() {
    beginResetModel();
    m_rows.clear();
    m_byAddress.clear();
    m_bFullReported = false;
    endResetModel();
    if (m_pWatcher != nullptr)
        m_pWatcher->OnAllRowsDeleted();
}

int CPhoneListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CPhoneListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant CPhoneListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(m_rows.size()))
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
