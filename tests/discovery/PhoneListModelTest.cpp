#include "PhoneListModel.h"

#include <gtest/gtest.h>

namespace {
PhoneTexts Phone(const std::string& address) {
    return {address, "00-09-45-10-ab-cd", "VoIP v2.3", "dhcp", "1000", "Yes", "No"};
}
} // namespace

// The view's model follows the rows it shows: inserted rows at their sorted
// place, updates and emptying, each with the signal a view acts on.
TEST(PhoneListModelTest, FollowsTheRowsWithTheViewsSignals) {
    CPhoneRows rows;
    CPhoneListModel model(rows);
    std::vector<std::string> heard;
    QObject::connect(&model, &QAbstractItemModel::rowsInserted,
                     [&](const QModelIndex&, int nFirst, int) {
                         heard.push_back("inserted " + std::to_string(nFirst));
                     });
    QObject::connect(&model, &QAbstractItemModel::dataChanged,
                     [&](const QModelIndex& first, const QModelIndex& last) {
                         heard.push_back("changed " + std::to_string(first.row()) + " " +
                                         std::to_string(last.column()));
                     });
    QObject::connect(&model, &QAbstractItemModel::modelReset, [&] { heard.push_back("reset"); });
    rows.AddRow(Phone("192.168.1.3"));
    model.AddRow(Phone("10.0.0.5"));
    rows.AddRow(Phone("192.168.1.3"));
    ASSERT_EQ(2, model.rowCount());
    EXPECT_EQ(7, model.columnCount());
    EXPECT_EQ(QString("10.0.0.5"), model.data(model.index(0, 0), Qt::DisplayRole).toString());
    EXPECT_EQ(QString("VoIP v2.3"), model.data(model.index(1, 2), Qt::DisplayRole).toString());
    EXPECT_EQ(QString("Type & Version"),
              model.headerData(2, Qt::Horizontal, Qt::DisplayRole).toString());
    rows.DeleteAllItems();
    EXPECT_EQ(0, model.rowCount());
    EXPECT_EQ((std::vector<std::string>{"inserted 0", "inserted 0", "changed 1 6", "reset"}),
              heard);
}
