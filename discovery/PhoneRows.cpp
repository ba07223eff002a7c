#include "PhoneRows.h"

#include "Trace.h"

#include <algorithm>

namespace {
struct CColumn {
    const char* pszHeading;
    int nWidth;
};
const CColumn g_columns[CPhoneRows::kColumns] = {
    {"IP Address", 130}, {"Mac Address", 140},  {"Type & Version", 180},
    {"IP Type", 70},     {"Phone Number", 140}, {"Log on", 60},
    {"Busy", 60},
};

// Byte-wise, as the list compares its item texts.
bool AddressLess(const PhoneTexts* pRow, const std::string& address) {
    return (*pRow)[0] < address;
}
} // namespace

CPhoneRows::CPhoneRows() = default;

CPhoneRows::~CPhoneRows() = default;

const char* CPhoneRows::Heading(int nColumn) {
    return g_columns[nColumn].pszHeading;
}

int CPhoneRows::Width(int nColumn) {
    return g_columns[nColumn].nWidth;
}

void CPhoneRows::AddListener(CPhoneRowsListener* pListener) {
    m_listeners.push_back(pListener);
}

void CPhoneRows::RemoveListener(CPhoneRowsListener* pListener) {
    m_listeners.erase(std::remove(m_listeners.begin(), m_listeners.end(), pListener),
                      m_listeners.end());
}

int CPhoneRows::AddRow(const PhoneTexts& texts) {
    const std::string& address = texts[0];
    auto pos = std::lower_bound(m_rows.begin(), m_rows.end(), address, AddressLess);
    const int nRow = static_cast<int>(pos - m_rows.begin());
    auto found = m_byAddress.find(address);
    if (found != m_byAddress.end()) {
        *found->second = texts;
        for (CPhoneRowsListener* pListener : m_listeners)
            pListener->OnRowChanged(nRow);
        return nRow;
    }
    if (GetItemCount() >= kMaxRows) {
        if (!m_bFullReported)
            OutputDebugStringA("Phone list full at " + std::to_string(kMaxRows) +
                               " rows: replies from further addresses dropped\n");
        m_bFullReported = true;
        return -1;
    }
    for (CPhoneRowsListener* pListener : m_listeners)
        pListener->OnRowInserting(nRow);
    auto pRow = std::make_unique<PhoneTexts>(texts);
    m_rows.insert(pos, pRow.get());
    m_byAddress.emplace(address, std::move(pRow));
    for (CPhoneRowsListener* pListener : m_listeners)
        pListener->OnRowInserted(nRow);
    return nRow;
}

void CPhoneRows::DeleteAllItems() {
    for (CPhoneRowsListener* pListener : m_listeners)
        pListener->OnRowsResetting();
    m_rows.clear();
    m_byAddress.clear();
    m_bFullReported = false;
    for (CPhoneRowsListener* pListener : m_listeners)
        pListener->OnRowsReset();
}
