#include "PhoneRows.h"

#include "TraceCapture.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {
PhoneTexts Phone(const std::string& address, const std::string& number = "1000") {
    return {address, "00-09-45-10-ab-cd", "VoIP v2.3", "dhcp", number, "Yes", "No"};
}

// Each notice as text: "+N" inserting, "N+" inserted, "~N", "0" resetting, "0!" reset.
struct CRecorder : CPhoneRowsListener {
    std::vector<std::string> notices;
    void OnRowInserting(int nRow) override { notices.push_back("+" + std::to_string(nRow)); }
    void OnRowInserted(int nRow) override { notices.push_back(std::to_string(nRow) + "+"); }
    void OnRowChanged(int nRow) override { notices.push_back("~" + std::to_string(nRow)); }
    void OnRowsResetting() override { notices.push_back("0"); }
    void OnRowsReset() override { notices.push_back("0!"); }
};

std::vector<std::string> Addresses(const CPhoneRows& model) {
    std::vector<std::string> out;
    for (int i = 0; i < model.GetItemCount(); ++i)
        out.push_back(model.Row(i)[0]);
    return out;
}
} // namespace

TEST(PhoneRowsTest, Rows_AreInTextOrderOfTheAddress) {
    CPhoneRows model;
    for (const char* psz : {"192.168.1.3", "9.1.1.1", "10.0.0.5", "192.168.1.10", "192.168.1.9"})
        model.AddRow(Phone(psz));
    EXPECT_EQ((std::vector<std::string>{"10.0.0.5", "192.168.1.10", "192.168.1.3", "192.168.1.9",
                                        "9.1.1.1"}),
              Addresses(model));
}

TEST(PhoneRowsTest, SameAddress_UpdatesItsRowInPlace) {
    CPhoneRows model;
    CRecorder recorder;
    model.AddListener(&recorder);
    model.AddRow(Phone("192.168.1.3", "1"));
    model.AddRow(Phone("10.0.0.5", "2"));
    EXPECT_EQ(1, model.AddRow(Phone("192.168.1.3", "3")));
    ASSERT_EQ(2, model.GetItemCount());
    EXPECT_EQ("3", model.Row(1)[4]);
    model.DeleteAllItems();
    EXPECT_EQ(0, model.GetItemCount());
    model.AddRow(Phone("192.168.1.3", "4")); // the address is free again after emptying
    ASSERT_EQ(1, model.GetItemCount());
    EXPECT_EQ("4", model.Row(0)[4]);
    EXPECT_EQ((std::vector<std::string>{"+0", "0+", "+0", "0+", "~1", "0", "0!", "+0", "0+"}),
              recorder.notices);
    model.RemoveListener(&recorder);
    model.AddRow(Phone("10.0.0.1"));
    EXPECT_EQ(9u, recorder.notices.size()) << "a removed listener hears nothing";
}

// A /16 full of phones, answering in an order unlike text order: all listed
// in order; beyond them new addresses are dropped with one line, while a
// listed phone's update still applies, until the list is emptied.
TEST(PhoneRowsTest, FullList_DropsNewAddressesButTakesUpdates) {
    CTraceCapture trace;
    CPhoneRows model;
    const int nMax = CPhoneRows::kMaxRows;
    for (int i = 0; i < nMax; ++i) {
        const int n = static_cast<int>((i * 7919L) % nMax);
        model.AddRow(Phone("10." + std::to_string(n / 256) + "." + std::to_string(n % 256) + ".1"));
    }
    ASSERT_EQ(nMax, model.GetItemCount());
    const std::vector<std::string> addresses = Addresses(model);
    EXPECT_TRUE(std::is_sorted(addresses.begin(), addresses.end()));
    EXPECT_EQ(addresses.end(), std::adjacent_find(addresses.begin(), addresses.end()));

    CRecorder recorder;
    model.AddListener(&recorder);
    EXPECT_EQ(-1, model.AddRow(Phone("9.9.9.9")));
    EXPECT_EQ(-1, model.AddRow(Phone("9.9.9.8")));
    EXPECT_TRUE(recorder.notices.empty()) << "a dropped reply changes nothing";
    model.RemoveListener(&recorder);
    EXPECT_EQ(nMax, model.GetItemCount());
    const int nRow = model.AddRow(Phone("10.7.7.1", "updated"));
    ASSERT_GE(nRow, 0);
    EXPECT_EQ("updated", model.Row(nRow)[4]);
    const std::vector<std::string> lines = trace.Lines();
    EXPECT_EQ(1, std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
                  return line.find("dropped") != std::string::npos;
              }));

    model.DeleteAllItems();
    EXPECT_EQ(0, model.AddRow(Phone("9.9.9.9")));
}
