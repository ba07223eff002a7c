#include "FleetBench.h"

#include "BenchTable.h"
#include "Netns.h"
#include "PeakMemory.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kPhones = 1000;
constexpr int kJobs = 64;
constexpr int kImageSize = 4 * 1024;
// Every address of this block is the phone side's own: phone i is the
// block's address i + 1.
const char kPhoneRange[] = "198.19.0.0/22";
constexpr uint32_t kFirstPhone = (198u << 24) | (19u << 16) | 1u;
const char kVersionBefore[] = "IP Phone v2.1";
const char kVersionAfter[] = "IP Phone v2.2";
// The post-update check pauses 0.5 s and then dials for the check time-out;
// the phone stays away for the whole of both with room to spare on a busy
// machine, or the check would find it back and fail it.
const char kCheckTimeoutMs[] = "250";
const char kRebootMs[] = "1500";
const char kProbeSeconds[] = "1";
// A bound for a phone that is back after 1.5 s, never the run's pace.
const char kConfirmSeconds[] = "30";
constexpr int kSimReadyMs = 10000;
constexpr int kRunMs = 110000;
constexpr int kSampleMs = 50;
// Open files beyond the simulators' pipes: the namespaces, orvex's pipe, the
// files read and written.
constexpr int kSpareFiles = 100;

std::string PhoneAddress(int i) {
    in_addr address{htonl(kFirstPhone + static_cast<uint32_t>(i))};
    return inet_ntoa(address);
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Str(const QJsonObject& object, const char* pszKey) {
    return object.value(pszKey).toString().toStdString();
}

double ChildrenCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    auto seconds = [](const timeval& tv) { return tv.tv_sec + tv.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Makes room for nFiles open files, up to the hard limit; false when that
// is too low.
bool RaiseOpenFiles(int nFiles) {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return false;
    const rlim_t wanted = static_cast<rlim_t>(nFiles);
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < wanted) {
        if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < wanted)
            return false;
        limit.rlim_cur = wanted;
        return setrlimit(RLIMIT_NOFILE, &limit) == 0;
    }
    return true;
}

// Removed however the section ends, after the simulators that write in it.
class CRemovedDir {
public:
    explicit CRemovedDir(fs::path dir) : m_dir(std::move(dir)) {}
    ~CRemovedDir() { fs::remove_all(m_dir); }
    CRemovedDir(const CRemovedDir&) = delete;
    CRemovedDir& operator=(const CRemovedDir&) = delete;

private:
    fs::path m_dir;
};

// The CPU time of a running process, all its threads, user plus system; -1
// once it has gone.
double ProcessCpuSeconds(pid_t pid) {
    clockid_t clock;
    timespec ts{};
    if (clock_getcpuclockid(pid, &clock) != 0 || clock_gettime(clock, &ts) != 0)
        return -1;
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

struct CRun {
    int nStatus = -1; // exit status, -1 when it did not end by itself
    std::string out;
    double dSeconds = 0;
    double dCpuSeconds = 0;       // orvex and its workers, user plus system
    double dParentCpuSeconds = 0; // orvex alone, as last seen before it ended
    long nPeakPssKiB = 0;
};

CRun RunOrvex(const CNetns& netns, const std::vector<std::string>& argv) {
    CRun run;
    const double dCpuBefore = ChildrenCpuSeconds();
    const auto start = Clock::now();
    auto pOrvex = netns.Spawn(CNetns::Tool, argv);
    if (!pOrvex)
        return run;
    int nStatus = -1;
    const auto deadline = start + std::chrono::milliseconds(kRunMs);
    while ((nStatus = pOrvex->Wait(kSampleMs)) == -1 && Clock::now() < deadline) {
        run.nPeakPssKiB = std::max(run.nPeakPssKiB, TreePssKiB(pOrvex->Pid()));
        run.dParentCpuSeconds = std::max(run.dParentCpuSeconds, ProcessCpuSeconds(pOrvex->Pid()));
    }
    run.dSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (nStatus == -1)
        nStatus = pOrvex->Stop();
    run.dCpuSeconds = ChildrenCpuSeconds() - dCpuBefore;
    run.nStatus = nStatus >= 0 && WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
    run.out = pOrvex->Output();
    return run;
}

// What the summary event says, and which phones a done event confirmed.
struct CEvents {
    QJsonObject summary;
    std::set<std::string> confirmed;
};

CEvents ReadEvents(const std::string& out) {
    CEvents events;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        const QJsonObject event = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
        const std::string kind = Str(event, "event");
        if (kind == "summary")
            events.summary = event;
        else if (kind == "done" && Str(event, "outcome") == "confirmed" &&
                 event.value("ok").toBool())
            events.confirmed.insert(Str(event, "phone"));
    }
    return events;
}

// The report's rows that are as they should be: one per phone, confirmed,
// ok, with the versions before and after. why: the first row that is not.
int GoodReportRows(const fs::path& report, const std::set<std::string>& fleet, std::string* pWhy) {
    const QJsonArray rows =
        QJsonDocument::fromJson(QByteArray::fromStdString(ReadAll(report))).array();
    std::set<std::string> seen;
    int nGood = 0;
    for (const auto& value : rows) {
        const QJsonObject row = value.toObject();
        const std::string address = Str(row, "address");
        const bool bGood = fleet.count(address) > 0 && seen.insert(address).second &&
                           Str(row, "outcome") == "confirmed" && row.value("ok").toBool() &&
                           Str(row, "versionBefore") == kVersionBefore &&
                           Str(row, "versionAfter") == kVersionAfter &&
                           row.value("bytes").toDouble() == kImageSize;
        nGood += bGood;
        if (!bGood && pWhy->empty())
            *pWhy = QJsonDocument(row).toJson(QJsonDocument::Compact).toStdString();
    }
    if (rows.size() != kPhones && pWhy->empty())
        *pWhy = std::to_string(rows.size()) + " rows";
    return nGood;
}

void AddCount(const std::string& measure, int nGood, CBenchTable* pTable) {
    pTable->Add({"orvex fleet", measure, Thousands(nGood) + "/" + Thousands(kPhones),
                 static_cast<double>(nGood), "", "all", nGood == kPhones ? "ok" : "MISSED"});
}

} // namespace

void RunFleetBench(const std::string& phoneSim, const std::string& orvex, CBenchTable* pTable) {
    const std::string section = "orvex fleet";
    const std::string measure =
        Thousands(kPhones) + " phones, -j " + std::to_string(kJobs) + ", --confirm, 4 KiB each";
    if (getuid() != 0) {
        pTable->Add({section, measure, "-", 0, "", "", "skipped"});
        pTable->Note("orvex fleet: skipped, the test namespaces need root");
        return;
    }
    CNetns netns;
    if (!netns.IsReady()) {
        pTable->Add({section, measure, "-", 0, "", "", "skipped"});
        pTable->Note("orvex fleet: skipped, no test namespaces: " + netns.Error());
        return;
    }
    auto fail = [&](const std::string& why) {
        pTable->Add({section, measure, "-", 0, "", "", "error"});
        pTable->Note("orvex fleet: " + why);
    };
    {
        auto pGuard = netns.EnterTool();
        std::string why;
        if (!pGuard->IsEntered() || !CNetns::IsConfined(&why))
            return fail("not confined to the test namespace: " + why);
    }
    if (!netns.AddPhoneRange(kPhoneRange))
        return fail(std::string("cannot give the phone side ") + kPhoneRange);

    char dirTemplate[] = "/tmp/orvex-bench-fleet-XXXXXX";
    const fs::path dir = mkdtemp(dirTemplate);
    const CRemovedDir removeDir(dir);
    std::string image(kImageSize, '\0');
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<char>(i * 31 + 7);
    std::ofstream(dir / "image.bin", std::ios::binary) << image;

    // One simulator a phone: each serves one address. All start at once,
    // then each is waited for. Each holds a pipe open here.
    if (!RaiseOpenFiles(kPhones + kSpareFiles)) {
        pTable->Add({section, measure, "-", 0, "", "", "skipped"});
        pTable->Note("orvex fleet: skipped, fewer open files allowed than " +
                     Thousands(kPhones + kSpareFiles));
        return;
    }
    const auto simStart = Clock::now();
    std::vector<std::unique_ptr<CChildProcess>> sims;
    std::set<std::string> fleet;
    for (int i = 0; i < kPhones; ++i) {
        const std::string address = PhoneAddress(i);
        fleet.insert(address);
        sims.push_back(netns.Spawn(
            CNetns::Phone, {phoneSim, "--address", address, "--update-busy-ms", kRebootMs, "--save",
                            (dir / (address + ".bin")).string(), "--discovery", "--phone-ip",
                            address, "--type", kVersionBefore, "--version-after", kVersionAfter}));
    }
    // A machine (or container) that allows fewer processes cannot hold the fleet.
    if (std::find(sims.begin(), sims.end(), nullptr) != sims.end()) {
        sims.clear();
        pTable->Add({section, measure, "-", 0, "", "", "skipped"});
        pTable->Note("orvex fleet: skipped, not " + Thousands(kPhones) +
                     " simulators could be started at once");
        return;
    }
    for (int i = 0; i < kPhones; ++i) {
        auto& pSim = sims[static_cast<size_t>(i)];
        if (!pSim->WaitForOutput("discovery on", kSimReadyMs)) {
            fail("no simulator on " + PhoneAddress(i) + ": " + pSim->Output());
            sims.clear();
            return;
        }
    }
    const double dSimStart = std::chrono::duration<double>(Clock::now() - simStart).count();

    std::vector<std::string> argv = {orvex,
                                     "update-program",
                                     (dir / "image.bin").string(),
                                     "--json",
                                     "-j",
                                     std::to_string(kJobs),
                                     "--confirm",
                                     "--expect-version",
                                     kVersionAfter,
                                     "--probe-interval",
                                     kProbeSeconds,
                                     "--confirm-timeout",
                                     kConfirmSeconds,
                                     "--check-timeout",
                                     kCheckTimeoutMs,
                                     "--report",
                                     (dir / "report.json").string()};
    for (int i = 0; i < kPhones; ++i)
        argv.insert(argv.end(), {"--phone", PhoneAddress(i)});
    const std::string loadBefore = LoadAverage();
    const CRun run = RunOrvex(netns, argv);
    const std::string loadAfter = LoadAverage();
    sims.clear();

    if (run.nStatus == -1) {
        std::string tail = run.out.substr(run.out.size() - std::min<size_t>(run.out.size(), 600));
        return fail("orvex did not end within " + std::to_string(kRunMs / 1000) +
                    " s; its last output: " + tail);
    }
    std::ofstream("/tmp/h10-fleet-out.jsonl") << run.out;
    const CEvents events = ReadEvents(run.out);
    const bool bSummary = events.summary.value("phones").toInt() == kPhones &&
                          events.summary.value("succeeded").toInt() == kPhones &&
                          events.summary.value("failed").toInt() == 0 &&
                          events.summary.value("interrupted").toInt() == 0;
    pTable->Add({section, measure + ": exit status", std::to_string(run.nStatus),
                 static_cast<double>(run.nStatus), "", "0", run.nStatus == 0 ? "ok" : "MISSED"});
    pTable->Add({section, "  summary: phones, all succeeded",
                 bSummary ? Thousands(kPhones) + "/" + Thousands(kPhones) : "wrong",
                 bSummary ? double(kPhones) : 0.0, "", "all", bSummary ? "ok" : "MISSED"});
    if (!bSummary)
        pTable->Note("orvex fleet: the summary: " +
                     QJsonDocument(events.summary).toJson(QJsonDocument::Compact).toStdString());
    int nConfirmed = 0;
    for (const std::string& address : events.confirmed)
        nConfirmed += fleet.count(address) > 0;
    AddCount("  done events: confirmed", nConfirmed, pTable);
    std::string why;
    AddCount("  report rows: confirmed, ok, v2.1 before, v2.2 after",
             GoodReportRows(dir / "report.json", fleet, &why), pTable);
    if (!why.empty())
        pTable->Note("orvex fleet: a report row not as it should be: " + why);
    int nSaved = 0;
    for (const std::string& address : fleet)
        nSaved += ReadAll(dir / (address + ".bin")) == image + '\x81';
    AddCount("  phones that received the image and 0x81", nSaved, pTable);

    pTable->Add({section, "  whole run", Fixed(run.dSeconds, 1), run.dSeconds, "s", "", ""});
    const double dPssMiB = static_cast<double>(run.nPeakPssKiB) / 1024.0;
    pTable->Add({section, "  peak summed PSS, orvex and its workers", Fixed(dPssMiB, 1), dPssMiB,
                 "MiB", "", ""});
    pTable->Add({section, "  CPU, orvex and its workers, user+system", Fixed(run.dCpuSeconds, 2),
                 run.dCpuSeconds, "s", "", ""});
    // The parent alone: its scheduler, the confirmation's socket and the
    // events, apart from the workers' start-up and transfers.
    pTable->Add({section, "    of it orvex itself (read before it ended)",
                 Fixed(run.dParentCpuSeconds, 2), run.dParentCpuSeconds, "s", "", ""});
    pTable->Note("orvex fleet: " + Thousands(kPhones) +
                 " simulators (one a phone, each rebooting for " + kRebootMs + " ms) started in " +
                 Fixed(dSimStart, 1) + " s; --check-timeout " + kCheckTimeoutMs +
                 ", --probe-interval " + kProbeSeconds + ". PSS read every " +
                 std::to_string(kSampleMs) + " ms. Load average " + loadBefore + " before, " +
                 loadAfter + " after.");
}
