#include "DiscoveryBench.h"

#include "BenchTable.h"
#include "ListPhonesDlg.h"
#include "Netns.h"

#include <QCoreApplication>
#include <chrono>
#include <unistd.h>

namespace {
constexpr int kPhoneCounts[] = {1000, 10000};
constexpr double kTargetSeconds = 2.0; // for 10,000 rows
constexpr int kSimReadyMs = 10000;
// The list is complete when no row came for this long (or all N are there).
constexpr int kQuietMs = 1500;
constexpr int kLimitMs = 20000;

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

void MeasureOne(const CNetns& netns, const std::string& phoneSim, int nPhones,
                CBenchTable* pTable) {
    const std::string label = std::to_string(nPhones) + " phones";
    auto pSim =
        netns.Spawn(CNetns::Phone, {phoneSim, "--no-tcp", "--discovery", "--mcast-if",
                                    CNetns::kPhoneAddress, "--phones", std::to_string(nPhones)});
    if (!pSim || !pSim->WaitForOutput("phone-sim: discovery on", kSimReadyMs)) {
        pTable->Add({"Discovery", label, "-", 0, "", "", "error"});
        pTable->Note("Discovery: the phone simulator did not start: " +
                     (pSim ? pSim->Output() : phoneSim));
        return;
    }

    // The dialog's sockets and their I/O threads are born in the tool namespace.
    auto pGuard = netns.EnterTool();
    std::string why;
    if (!pGuard->IsEntered() || !CNetns::IsConfined(&why)) {
        pTable->Add({"Discovery", label, "-", 0, "", "", "error"});
        pTable->Note("Discovery: not confined to the test namespace: " + why);
        return;
    }
    CListPhonesDlg dlg;
    Clock::time_point lastRow{};
    QObject::connect(&dlg.m_PhoneRows, &QAbstractItemModel::rowsInserted,
                     [&lastRow] { lastRow = Clock::now(); });

    // The probe goes out inside Create (OnInitDialog); the replies queue in
    // the listening socket until the loop below delivers them.
    const auto start = Clock::now();
    const bool bCreated = dlg.Create();
    lastRow = Clock::now();
    while (bCreated && dlg.m_PhoneRows.GetItemCount() < nPhones &&
           Clock::now() - lastRow < std::chrono::milliseconds(kQuietMs) &&
           Clock::now() - start < std::chrono::milliseconds(kLimitMs))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    const int nRows = dlg.m_PhoneRows.GetItemCount();
    const double dSeconds = Seconds(start, lastRow);
    dlg.DestroyWindow();
    pGuard.reset();

    pTable->Add({"Discovery", label + ": rows listed",
                 std::to_string(nRows) + "/" + std::to_string(nPhones), static_cast<double>(nRows),
                 "", "all", nRows == nPhones ? "ok" : "MISSED"});
    const bool bTimed = nPhones == kPhoneCounts[1];
    pTable->Add({"Discovery", label + ": probe to last row", Fixed(dSeconds, 3), dSeconds, "s",
                 bTimed ? "< 2 s" : "",
                 bTimed ? (dSeconds < kTargetSeconds ? "ok" : "MISSED") : ""});
}
} // namespace

void RunDiscoveryBench(const std::string& phoneSim, CBenchTable* pTable) {
    if (getuid() != 0) {
        pTable->Add({"Discovery", "N phones answering one probe", "-", 0, "", "", "skipped"});
        pTable->Note("Discovery: skipped, the test namespaces need root");
        return;
    }
    CNetns netns;
    if (!netns.IsReady()) {
        pTable->Add({"Discovery", "N phones answering one probe", "-", 0, "", "", "skipped"});
        pTable->Note("Discovery: skipped, no test namespaces: " + netns.Error());
        return;
    }
    for (int nPhones : kPhoneCounts)
        MeasureOne(netns, phoneSim, nPhones, pTable);
}
