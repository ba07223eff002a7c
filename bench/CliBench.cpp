#include "CliBench.h"

#include "BenchTable.h"
#include "ChildProcess.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kPhones = 32;
constexpr int kImageSize = 256 * 1024;
constexpr double kTargetRatio = 1.5;
constexpr int kSimReadyMs = 5000;
constexpr int kRunMs = 600000;
// A phone on a LAN: each block answered after 2 ms.
const char kAckDelayMs[] = "2";

// The bench's own loopback range, apart from the tests' addresses: phone i
// at 127.0.5.(i + 1), the lone phone after them.
std::string PhoneAddress(int i) {
    return "127.0.5." + std::to_string(i + 1);
}

struct CRun {
    bool bOk = false;
    double dSeconds = 0;
    double dLastTransfer = 0; // when the last phone's last block was acknowledged
    std::string why;
};

CRun RunOrvex(const std::string& orvex, const std::string& image, int nFirst, int nCount) {
    std::vector<std::string> argv{orvex, "update-program",      image, "--json",
                                  "-j",  std::to_string(nCount)};
    for (int i = nFirst; i < nFirst + nCount; ++i)
        argv.insert(argv.end(), {"--phone", PhoneAddress(i)});
    CRun run;
    const auto start = std::chrono::steady_clock::now();
    auto pOrvex = CChildProcess::Start(argv);
    const int nStatus = pOrvex ? pOrvex->Wait(kRunMs) : -1;
    run.dSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.bOk = nStatus >= 0 && WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0;
    if (!run.bOk)
        run.why = "orvex did not update every phone: " + (pOrvex ? pOrvex->Output() : "");
    std::istringstream lines(pOrvex ? pOrvex->Output() : "");
    std::string line;
    while (std::getline(lines, line)) {
        const QJsonObject event = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
        if (event.value("event").toString() == "progress" &&
            event.value("bytes").toDouble() == event.value("total").toDouble() &&
            event.value("total").toDouble() > 0)
            run.dLastTransfer = std::max(run.dLastTransfer, event.value("time").toDouble());
    }
    return run;
}

} // namespace

void RunCliBench(const std::string& phoneSim, const std::string& orvex, CBenchTable* pTable) {
    const std::string measure = "32 phones at once (-j 32), 256 KiB each";
    std::vector<std::unique_ptr<CChildProcess>> sims;
    for (int i = 0; i <= kPhones; ++i) {
        sims.push_back(CChildProcess::Start(
            {phoneSim, "--address", PhoneAddress(i), "--ack-delay", kAckDelayMs}));
        if (!sims.back() || !sims.back()->WaitForOutput(" on " + PhoneAddress(i), kSimReadyMs)) {
            pTable->Add({"orvex", measure, "-", 0, "", "", "error"});
            pTable->Note("orvex: no simulator on " + PhoneAddress(i));
            return;
        }
    }
    char dirTemplate[] = "/tmp/orvex-bench-XXXXXX";
    const std::filesystem::path dir = mkdtemp(dirTemplate);
    const std::string image = (dir / "image.bin").string();
    {
        std::vector<char> bytes(kImageSize);
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<char>(i * 31 + 7);
        std::ofstream(image, std::ios::binary).write(bytes.data(), kImageSize);
    }

    const CRun one = RunOrvex(orvex, image, kPhones, 1);
    const CRun all = RunOrvex(orvex, image, 0, kPhones);
    std::filesystem::remove_all(dir);
    if (!one.bOk || !all.bOk) {
        pTable->Add({"orvex", measure, "-", 0, "", "", "error"});
        pTable->Note("orvex: " + (one.bOk ? all.why : one.why));
        return;
    }
    const double dRatio = all.dSeconds / one.dSeconds;
    const double dTransferRatio = all.dLastTransfer / one.dLastTransfer;
    pTable->Add({"orvex", "1 phone alone, 256 KiB, acks after 2 ms", Fixed(one.dSeconds, 2),
                 one.dSeconds, "s", "", ""});
    pTable->Add({"orvex", measure, Fixed(all.dSeconds, 2), all.dSeconds, "s", "", ""});
    pTable->Add({"orvex", "ratio 32 phones / 1 phone", Fixed(dRatio, 2), dRatio, "", "<= 1.5",
                 dRatio <= kTargetRatio ? "ok" : "MISSED"});
    pTable->Add({"orvex", "ratio of the transfers alone (last block acked)",
                 Fixed(dTransferRatio, 2), dTransferRatio, "", "", ""});
    pTable->Note("orvex: each run includes the post-update check (0.5 s pause, 4 s wait), the same "
                 "for one phone and for 32.");
}
