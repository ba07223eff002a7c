#include "DiscoveryBench.h"

#include "BenchTable.h"
#include "ListPhonesDlg.h"
#include "Netns.h"
#include "PeakMemory.h"

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <unistd.h>

namespace {
constexpr int kFloodReplies = 1000000;
constexpr double kTargetSeconds = 2.0; // for a /16 full of phones
constexpr double kTargetPeakMiB = 200.0;
constexpr int kSimReadyMs = 10000;
// A listing is complete when no row came for this long (or all N are
// there); a flood once the simulator has sent it all and this long passed.
constexpr int kQuietMs = 1500;
constexpr int kLimitMs = 60000;
// The event loop is asked to run this often; the longest gap is the stall.
constexpr int kTickMs = 5;
constexpr int kLookMs = 100;

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

struct CRun {
    bool bOk = false;
    int nRows = 0;
    double dLastRow = 0; // seconds from the probe
    double dPeakMiB = 0;
    double dStallMs = 0;
};

// One probe answered by nPhones simulated phones, listed by the List Phones
// dialog. bFlood: wait for the simulator to have sent every reply, rather
// than for the rows, which stop at the list's cap.
CRun Listing(const CNetns& netns, const std::string& phoneSim, int nPhones, bool bFlood,
             CBenchTable* pTable) {
    CRun run;
    auto pSim =
        netns.Spawn(CNetns::Phone, {phoneSim, "--no-tcp", "--discovery", "--mcast-if",
                                    CNetns::kPhoneAddress, "--phones", std::to_string(nPhones)});
    if (!pSim || !pSim->WaitForOutput("phone-sim: discovery on", kSimReadyMs)) {
        pTable->Note("Discovery: the phone simulator did not start: " +
                     (pSim ? pSim->Output() : phoneSim));
        return run;
    }
    // The dialog's sockets and their I/O threads are born in the tool namespace.
    auto pGuard = netns.EnterTool();
    std::string why;
    if (!pGuard->IsEntered() || !CNetns::IsConfined(&why)) {
        pTable->Note("Discovery: not confined to the test namespace: " + why);
        return run;
    }
    CListPhonesDlg dlg;
    // When the last new row came.
    struct CLastRow : CPhoneRowsListener {
        Clock::time_point at{};
        void OnRowInserted(int) override { at = Clock::now(); }
    } lastRowSeen;
    Clock::time_point& lastRow = lastRowSeen.at;
    dlg.m_PhoneRows.AddListener(&lastRowSeen);
    Clock::time_point lastTick = Clock::now();
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const Clock::time_point now = Clock::now();
        run.dStallMs = std::max(run.dStallMs, Seconds(lastTick, now) * 1000.0);
        lastTick = now;
    });

    // The probe goes out inside Create (OnInitDialog); the replies queue in
    // the listening socket until the loop below delivers them.
    ResetPeakMemory();
    const auto start = Clock::now();
    const bool bCreated = dlg.Create();
    lastRow = lastTick = Clock::now();
    tick.start(kTickMs);
    const std::string sent = "sent " + std::to_string(nPhones) + " replies";
    Clock::time_point sentAt{};
    Clock::time_point lastLook = start;
    const int nExpected = std::min(nPhones, CPhoneRows::kMaxRows);
    for (;;) {
        const auto now = Clock::now();
        if (!bCreated || now - start > std::chrono::milliseconds(kLimitMs))
            break;
        if (bFlood) {
            // A look at the simulator's output costs a few milliseconds of the loop.
            if (sentAt == Clock::time_point{} &&
                now - lastLook > std::chrono::milliseconds(kLookMs)) {
                lastLook = now;
                if (pSim->WaitForOutput(sent, 2))
                    sentAt = now;
            }
            if (sentAt != Clock::time_point{} && now - sentAt > std::chrono::milliseconds(kQuietMs))
                break;
        } else if (dlg.m_PhoneRows.GetItemCount() >= nExpected ||
                   now - lastRow > std::chrono::milliseconds(kQuietMs)) {
            break;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    tick.stop();
    run.nRows = dlg.m_PhoneRows.GetItemCount();
    dlg.m_PhoneRows.RemoveListener(&lastRowSeen);
    run.dLastRow = Seconds(start, lastRow);
    run.dPeakMiB = PeakMemoryMiB();
    run.bOk = bCreated && (!bFlood || sentAt != Clock::time_point{});
    if (bFlood && !run.bOk)
        pTable->Note("Discovery: the flood did not end in time: " + pSim->Output());
    dlg.DestroyWindow();
    return run;
}

void AddRows(const std::string& label, const CRun& run, int nExpected, bool bTimed, bool bMemory,
             CBenchTable* pTable) {
    if (!run.bOk) {
        pTable->Add({"Discovery", label, "-", 0, "", "", "error"});
        return;
    }
    pTable->Add({"Discovery", label + ": rows listed",
                 Thousands(run.nRows) + "/" + Thousands(nExpected), static_cast<double>(run.nRows),
                 "", "all", run.nRows == nExpected ? "ok" : "MISSED"});
    if (bTimed || !bMemory)
        pTable->Add({"Discovery", label + ": probe to last row", Fixed(run.dLastRow, 3),
                     run.dLastRow, "s", bTimed ? "< 2 s" : "",
                     bTimed ? (run.dLastRow < kTargetSeconds ? "ok" : "MISSED") : ""});
    if (!bMemory)
        return;
    pTable->Add({"Discovery", label + ": peak resident memory", Fixed(run.dPeakMiB, 0),
                 run.dPeakMiB, "MiB", "< 200 MiB",
                 run.dPeakMiB < kTargetPeakMiB ? "ok" : "MISSED"});
    pTable->Add({"Discovery", label + ": longest stall of the list", Fixed(run.dStallMs, 0),
                 run.dStallMs, "ms", "", ""});
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
    for (int nPhones : {1000, 10000, CPhoneRows::kMaxRows}) {
        const bool bFull = nPhones == CPhoneRows::kMaxRows;
        AddRows(Thousands(nPhones) + " phones", Listing(netns, phoneSim, nPhones, false, pTable),
                nPhones, bFull, bFull, pTable);
    }
    // Rows stop at the cap; the replies beyond it are dropped.
    AddRows("flood of " + Thousands(kFloodReplies) + " replies",
            Listing(netns, phoneSim, kFloodReplies, true, pTable), CPhoneRows::kMaxRows, false,
            true, pTable);
}
