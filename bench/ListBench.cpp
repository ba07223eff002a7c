#include "ListBench.h"

#include "BenchTable.h"
#include "Netns.h"

#include <algorithm>
#include <chrono>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {
constexpr int kPhones = 65536;
constexpr int kRuns = 3;
constexpr int kSimReadyMs = 10000;
constexpr int kLimitMs = 120000;

using Clock = std::chrono::steady_clock;

struct CRun {
    bool bOk = false;
    int nRows = 0;
    double dSeconds = 0;
    long lRcvbufErrors = 0;
};

// The tool namespace's count of datagrams dropped because a socket's receive
// buffer was full (Udp RcvbufErrors), or -1.
long RcvbufErrors(const CNetns& netns) {
    auto pCat = netns.Spawn(CNetns::Tool, {"cat", "/proc/net/snmp"});
    if (!pCat || pCat->Wait(5000) != 0)
        return -1;
    // Two "Udp:" lines: the names, then the values in the same order.
    std::istringstream lines(pCat->Output());
    std::string names;
    std::string values;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("Udp: ", 0) != 0)
            continue;
        (names.empty() ? names : values) = line;
    }
    std::istringstream nameWords(names);
    std::istringstream valueWords(values);
    std::string name;
    std::string value;
    while (nameWords >> name && valueWords >> value)
        if (name == "RcvbufErrors")
            return std::stol(value);
    return -1;
}

// One orvex list in the tool namespace: the CSV rows it printed.
CRun ListOnce(const CNetns& netns, const std::string& orvex, int nProbes) {
    CRun run;
    const long lErrorsBefore = RcvbufErrors(netns);
    const auto start = Clock::now();
    auto pRun = netns.Spawn(
        CNetns::Tool, {orvex, "list", "--probes", std::to_string(nProbes), "--wait", "1", "--csv"});
    const int nStatus = pRun ? pRun->Wait(kLimitMs) : -1;
    run.dSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (nStatus < 0 || !WIFEXITED(nStatus))
        return run;
    const std::string& out = pRun->Output();
    // The headings are the first line; each phone one more.
    run.nRows = static_cast<int>(std::count(out.begin(), out.end(), '\n')) - 1;
    run.bOk = WEXITSTATUS(nStatus) <= 1 && out.rfind("IP Address,", 0) == 0;
    const long lErrorsAfter = RcvbufErrors(netns);
    run.lRcvbufErrors = lErrorsBefore < 0 || lErrorsAfter < 0 ? -1 : lErrorsAfter - lErrorsBefore;
    return run;
}
} // namespace

void RunListBench(const std::string& phoneSim, const std::string& orvex, CBenchTable* pTable) {
    const std::string section = "orvex list";
    if (getuid() != 0) {
        pTable->Add({section, "65,536 phones", "-", 0, "", "", "skipped"});
        pTable->Note("orvex list: skipped, the test namespaces need root");
        return;
    }
    CNetns netns;
    if (!netns.IsReady()) {
        pTable->Add({section, "65,536 phones", "-", 0, "", "", "skipped"});
        pTable->Note("orvex list: skipped, no test namespaces: " + netns.Error());
        return;
    }
    auto pSim =
        netns.Spawn(CNetns::Phone, {phoneSim, "--no-tcp", "--discovery", "--mcast-if",
                                    CNetns::kPhoneAddress, "--phones", std::to_string(kPhones)});
    if (!pSim || !pSim->WaitForOutput("phone-sim: discovery on", kSimReadyMs)) {
        pTable->Add({section, "65,536 phones", "-", 0, "", "", "error"});
        pTable->Note("orvex list: the phone simulator did not start: " +
                     (pSim ? pSim->Output() : phoneSim));
        return;
    }
    for (int nProbes : {1, 3}) {
        for (int nRun = 1; nRun <= kRuns; ++nRun) {
            const CRun run = ListOnce(netns, orvex, nProbes);
            const std::string label = Thousands(kPhones) + " phones, --probes " +
                                      std::to_string(nProbes) + ", run " + std::to_string(nRun);
            if (!run.bOk) {
                pTable->Add({section, label, "-", 0, "", "", "error"});
                continue;
            }
            // One probe is the baseline: only three are held to listing all.
            const bool bHeld = nProbes == 3;
            pTable->Add({section, label + ": rows listed",
                         Thousands(run.nRows) + "/" + Thousands(kPhones),
                         static_cast<double>(run.nRows), "", bHeld ? "all" : "",
                         bHeld ? (run.nRows == kPhones ? "ok" : "MISSED") : ""});
            pTable->Add({section, label + ": whole run", Fixed(run.dSeconds, 1), run.dSeconds, "s",
                         "", ""});
            // Where the missing replies went: the listening socket's full
            // receive buffer, or (the rest) the network path or the tool's
            // own bound on what it holds.
            pTable->Add(
                {section, label + ": replies dropped at a full receive buffer",
                 run.lRcvbufErrors < 0 ? "-" : Thousands(static_cast<int>(run.lRcvbufErrors)),
                 static_cast<double>(std::max(run.lRcvbufErrors, 0L)), "", "", ""});
        }
    }
}
