#include "ListCommand.h"

#include "CsvField.h"
#include "Ipv4Text.h"
#include "JsonText.h"
#include "MessageQueue.h"
#include "PhoneDiscovery.h"
#include "RowFilter.h"
#include "TextTable.h"
#include "Trace.h"
#include "WinSock.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

// Probes of one run go this far apart: replies to one probe have arrived, and
// a probe is cheap for the phones.
constexpr int kProbeIntervalMs = 1000;

// The JSON names of the seven columns, in the dialog's order; "ip" is what
// --phones-from reads back.
const char* const kJsonKeys[CPhoneRows::kColumns] = {
    "ip", "mac", "typeVersion", "ipType", "phoneNumber", "logOn", "busy"};

void PrintTable(const std::vector<const PhoneTexts*>& rows) {
    std::vector<TextRow> table(1);
    for (int nColumn = 0; nColumn < CPhoneRows::kColumns; ++nColumn)
        table[0].push_back(CPhoneRows::Heading(nColumn));
    for (const PhoneTexts* pTexts : rows)
        table.emplace_back(pTexts->begin(), pTexts->end());
    PrintTextTable(stdout, table);
}

void PrintCsv(const std::vector<const PhoneTexts*>& rows) {
    std::string out;
    for (int nColumn = 0; nColumn < CPhoneRows::kColumns; ++nColumn)
        out += (nColumn == 0 ? "" : ",") + CsvField(CPhoneRows::Heading(nColumn));
    out += "\n";
    for (const PhoneTexts* pTexts : rows) {
        for (size_t nColumn = 0; nColumn < pTexts->size(); ++nColumn)
            out += (nColumn == 0 ? "" : ",") + CsvField((*pTexts)[nColumn]);
        out += "\n";
    }
    fputs(out.c_str(), stdout);
}

void PrintJson(const std::vector<const PhoneTexts*>& rows) {
    std::string out = "[";
    for (size_t nRow = 0; nRow < rows.size(); ++nRow) {
        nlohmann::json phone = nlohmann::json::object();
        for (int nColumn = 0; nColumn < CPhoneRows::kColumns; ++nColumn)
            phone[kJsonKeys[nColumn]] = JsonText((*rows[nRow])[static_cast<size_t>(nColumn)]);
        out += (nRow == 0 ? "\n  " : ",\n  ") + CompactJson(phone);
    }
    out += rows.empty() ? "]\n" : "\n]\n";
    fputs(out.c_str(), stdout);
}

} // namespace

int RunListCommand(const CListOptions& options) {
    DWORD dwLocal = 0;
    if (!options.localAddress.empty() && !ParseIpv4(options.localAddress, &dwLocal)) {
        fprintf(stderr, "orvex: --local-address \"%s\": not an IPv4 address\n",
                options.localAddress.c_str());
        return 2;
    }
    std::vector<CRowFilter> filters(options.where.size());
    for (size_t i = 0; i < filters.size(); ++i) {
        std::string error;
        if (!filters[i].Parse(options.where[i], &error)) {
            fprintf(stderr, "orvex: %s\n", error.c_str());
            return 2;
        }
    }
    // Socket diagnostics are not for the terminal.
    SetTraceSink([](const std::string&) {});
    if (!WinSock2Init()) {
        fprintf(stderr, "orvex: Winsock 2.0 failed\n");
        return 1;
    }
    size_t nListed = 0;
    {
        using Clock = std::chrono::steady_clock;
        CPhoneDiscovery discovery(dwLocal);
        discovery.Start();
        // The rows keep one phone per address, so the replies to every
        // probe merge into them. The thread's own queue delivers them, as
        // on Windows: no toolkit's loop is needed.
        int nSent = 1;
        auto nextProbe = Clock::now() + std::chrono::milliseconds(kProbeIntervalMs);
        const auto listen = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(options.dSeconds));
        auto end = nSent < options.nProbes ? Clock::time_point::max() : Clock::now() + listen;
        for (;;) {
            const auto now = Clock::now();
            if (nSent < options.nProbes && now >= nextProbe) {
                discovery.SendProbe();
                nextProbe += std::chrono::milliseconds(kProbeIntervalMs);
                if (++nSent == options.nProbes)
                    end = Clock::now() + listen;
            }
            if (Clock::now() >= end)
                break;
            const auto until = std::min(end, nSent < options.nProbes ? nextProbe : end);
            const auto wait =
                std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
            MSG msg;
            if (GetMessage(&msg, static_cast<DWORD>(std::max<long long>(0, wait.count()))) &&
                !DispatchMessage(msg))
                ReleaseMessage(msg);
        }
        discovery.Stop();

        const CPhoneRows& rows = discovery.Rows();
        std::vector<const PhoneTexts*> listed;
        for (int nRow = 0; nRow < rows.GetItemCount(); ++nRow) {
            const PhoneTexts& texts = rows.Row(nRow);
            if (std::all_of(filters.begin(), filters.end(),
                            [&texts](const CRowFilter& filter) { return filter.Matches(texts); }))
                listed.push_back(&texts);
        }
        if (options.bJson)
            PrintJson(listed);
        else if (options.bCsv)
            PrintCsv(listed);
        else
            PrintTable(listed);
        nListed = listed.size();
    }
    WinSock2Free();
    return nListed > 0 ? 0 : 1;
}
