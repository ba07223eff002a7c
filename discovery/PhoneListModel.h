// The phone list's rows as a Qt table model, for the Linux List Phones
// dialog's view: it shows a CPhoneRows and follows its changes, and passes
// the rows' own calls through, so the dialog reads and fills one object.
#pragma once

#include "PhoneRows.h"

#include <QAbstractTableModel>

class CPhoneListModel : public QAbstractTableModel, private CPhoneRowsListener {
    Q_OBJECT
public:
    static constexpr int kColumns = CPhoneRows::kColumns;
    static constexpr int kMaxRows = CPhoneRows::kMaxRows;

    // The rows outlive the model.
    explicit CPhoneListModel(CPhoneRows& rows, QObject* pParent = nullptr);
    ~CPhoneListModel() override;

    int AddRow(const PhoneTexts& texts) { return m_rows.AddRow(texts); }
    void DeleteAllItems() { m_rows.DeleteAllItems(); }
    int GetItemCount() const { return m_rows.GetItemCount(); }
    const PhoneTexts& Row(int nRow) const { return m_rows.Row(nRow); }
    static const char* Heading(int nColumn) { return CPhoneRows::Heading(nColumn); }
    static int Width(int nColumn) { return CPhoneRows::Width(nColumn); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    void OnRowInserting(int nRow) override;
    void OnRowInserted(int nRow) override;
    void OnRowChanged(int nRow) override;
    void OnRowsResetting() override;
    void OnRowsReset() override;

    CPhoneRows& m_rows;
};
