// The rows of the phone list: one per phone, kept in ascending order of the
// IP Address text compared as text (10.0.0.5, 192.168.1.3, 9.1.1.1), as a
// sorted report list view keeps them. No toolkit: the List Phones dialog
// shows them through an adapter, and the command-line program reads them.
#pragma once

#include "PhoneReply.h"

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

// Told of every change, on the thread that makes it: before it, so a view
// can prepare, and after it, once the rows hold it.
class CPhoneRowsListener {
public:
    virtual ~CPhoneRowsListener() = default;
    virtual void OnRowInserting(int /*nRow*/) {}
    virtual void OnRowInserted(int /*nRow*/) {}
    virtual void OnRowChanged(int /*nRow*/) {}
    virtual void OnRowsResetting() {}
    virtual void OnRowsReset() {}
};

class CPhoneRows {
public:
    static constexpr int kColumns = 7;
    // A /16 full of phones. Beyond it replies from new addresses are dropped
    // (one diagnostic line until the list is emptied); listed rows still
    // take their updates. Keeps a flood of made-up addresses from growing
    // the list, and the tool's memory, without end.
    static constexpr int kMaxRows = 65536;

    CPhoneRows();
    ~CPhoneRows();
    CPhoneRows(const CPhoneRows&) = delete;
    CPhoneRows& operator=(const CPhoneRows&) = delete;

    // Adds a row at its sorted place, or updates in place the row whose IP
    // Address text is the same, so one phone never has two rows. Returns
    // the row's position, or -1 for a new address when the list is full.
    int AddRow(const PhoneTexts& texts);
    void DeleteAllItems();
    int GetItemCount() const { return static_cast<int>(m_rows.size()); }
    const PhoneTexts& Row(int nRow) const { return *m_rows[static_cast<size_t>(nRow)]; }

    // The headings and pixel widths of the seven columns.
    static const char* Heading(int nColumn);
    static int Width(int nColumn);

    // The listener stays the caller's; it is removed before it goes.
    void AddListener(CPhoneRowsListener* pListener);
    void RemoveListener(CPhoneRowsListener* pListener);

private:
    // The rows, owned here by their IP Address text (the duplicate check)...
    std::unordered_map<std::string, std::unique_ptr<PhoneTexts>> m_byAddress;
    // ...and in list order by plain pointer, so a sorted insert is one memmove.
    std::vector<PhoneTexts*> m_rows;
    // Set once a new address has been dropped, until the list is emptied.
    bool m_bFullReported = false;
    std::vector<CPhoneRowsListener*> m_listeners;
};
