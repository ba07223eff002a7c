#include "DryRun.h"

#include "CheckCommand.h"
#include "ConfirmWatch.h"
#include "InputImage.h"
#include "Ipv4Text.h"
#include "TextTable.h"

#include <cstdio>
#include <thread>

namespace {

// As long as orvex list listens after its last probe.
constexpr auto kListen = std::chrono::seconds(1);

std::string Number(double dValue) {
    char sz[32];
    snprintf(sz, sizeof sz, "%g", dValue);
    return sz;
}

std::string Options(const CUpdateOptions& options, size_t nPhones) {
    const size_t nJobs =
        std::min(nPhones, static_cast<size_t>(options.nJobs > 0 ? options.nJobs : kMaxJobs));
    std::string text = "-j " + std::to_string(nJobs) + ", --retries " +
                       std::to_string(options.nRetries) + ", --connect-timeout " +
                       std::to_string(options.dwConnectTimeout) + " ms, --ack-timeout " +
                       std::to_string(options.dwAckTimeout) + " ms, --check-timeout " +
                       std::to_string(options.dwCheckTimeout) + " ms";
    if (options.nCanary > 0)
        text += ", --canary " + std::to_string(options.nCanary);
    if (options.nMaxFailures > 0)
        text += ", --max-failures " + std::to_string(options.nMaxFailures);
    if (options.bConfirm)
        text += ", --confirm within " + Number(options.dConfirmTimeout) + " s" +
                (options.expectVersion.empty()
                     ? std::string()
                     : ", --expect-version \"" + options.expectVersion + "\"");
    if (options.bSkipBusy)
        text += ", --skip-busy up to " + Number(options.dBusyTimeout) + " s";
    if (options.bConfirm || options.bSkipBusy)
        text += ", a probe every " + Number(options.dProbeInterval) + " s";
    if (!options.report.empty())
        text += ", --report " + options.report;
    return text;
}

} // namespace

int RunDryRun(const CUpdateOptions& options, const std::vector<DWORD>& phones,
              const CInputImage& image) {
    const long long nLength = SentImageLength(image, options.bFlashPage);
    std::vector<TextRow> rows{
        {"dry run", "nothing is sent"},
        {"file", options.file + (options.bFlashPage ? " (Intel HEX flash page)"
                                                    : " (program image, sent byte for byte)")},
        {"image length", std::to_string(nLength) + " bytes"},
        {"each phone gets", DescribeSent(nLength, options.bFlashPage)},
        {"phones", std::to_string(phones.size()) + ", in this order"},
        {"options", Options(options, phones.size())}};
    PrintTextTable(stdout, rows);
    fputc('\n', stdout);

    std::vector<TextRow> table;
    if (options.bConfirm || options.bSkipBusy) {
        std::vector<CPhoneRun> runs(phones.size());
        for (size_t i = 0; i < phones.size(); ++i)
            runs[i].dwAddress = phones[i];
        CConfirmWatch probe(CConfirmOptions{});
        probe.Start(runs);
        const auto end = CPhoneRun::Clock::now() + kListen;
        while (CPhoneRun::Clock::now() < end) {
            probe.Poll(runs);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        probe.Poll(runs);
        table.push_back({"Phone", "Answered", "Type & Version", "Busy"});
        for (size_t i = 0; i < phones.size(); ++i) {
            PhoneTexts texts;
            const bool bHeard = probe.Heard(i, &texts);
            table.push_back(bHeard ? TextRow{FormatIpv4(phones[i]), "yes", texts[2], texts[6]}
                                   : TextRow{FormatIpv4(phones[i]), "no"});
        }
    } else {
        table.push_back({"Phone"});
        for (DWORD dwPhone : phones)
            table.push_back({FormatIpv4(dwPhone)});
    }
    PrintTextTable(stdout, table);
    fflush(stdout);
    return 0;
}
