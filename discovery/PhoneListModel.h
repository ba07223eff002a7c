// The rows of the List Phones dialog: one per phone, kept in ascending order
// of the IP Address text compared as text (10.0.0.5, 192.168.1.3, 9.1.1.1),
// as a sorted report list view keeps them.
#pragma once

#include "PhoneReply.h"

#include <QAbstractTableModel>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

// Told of each change to the rows, on the rows' thread, once it is made: the
// List Phones dialog mirrors them in its list control.
class IPhoneRowsWatcher {
public:
    virtual ~IPhoneRowsWatcher() = default;
    virtual void OnRowInserted(int nRow) = 0;
    virtual void OnRowChanged(int nRow) = 0;
    virtual void OnAllRowsDeleted() = 0;
};

class CPhoneListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kColumns = 7;
    // A /16 full of phones. Beyond it replies from new addresses are dropped
    // (one diagnostic line until the list is emptied); listed rows still
    // take their updates. Keeps a flood of made-up addresses from growing
    // the list, and the tool's memory, without end.
    static constexpr int kMaxRows = 65536;

    explicit CPhoneListModel(QObject* pParent = nullptr);
    ~CPhoneListModel() override;

    // Adds a row at its sorted place, or updates in place the row whose IP
    // Address text is the same, so one phone never has two rows. Returns
    // the row's position, or -1 for a new address when the list is full.
    int AddRow(const PhoneTexts& texts);
    void DeleteAllItems();
    int GetItemCount() const { return static_cast<int>(m_rows.size()); }
    const PhoneTexts& Row(int nRow) const { return *m_rows[static_cast<size_t>(nRow)]; }

    // One watcher, or null for none.
    void SetWatcher(IPhoneRowsWatcher* pWatcher) { m_pWatcher = pWatcher; }

    // The headings and pixel widths of the seven columns.
    static const char* Heading(int nColumn);
    static int Width(int nColumn);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    // The rows, owned here by their IP Address text (the duplicate check)...
    std::unordered_map<std::string, std::unique_ptr<PhoneTexts>> m_byAddress;
    // ...and in list order by plain pointer, so a sorted insert is one memmove.
    std::vector<PhoneTexts*> m_rows;
    // Set once a new address has been dropped, until the list is emptied.
    bool m_bFullReported = false;
    IPhoneRowsWatcher* m_pWatcher = nullptr;
};
