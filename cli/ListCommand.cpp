#include "ListCommand.h"

#include "CsvField.h"
#include "Ipv4Text.h"
#include "PhoneDiscovery.h"
#include "RowFilter.h"
#include "TextTable.h"
#include "Trace.h"
#include "WinSock.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <algorithm>
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
        QJsonObject phone;
        for (int nColumn = 0; nColumn < CPhoneRows::kColumns; ++nColumn)
            phone[kJsonKeys[nColumn]] =
                QString::fromStdString((*rows[nRow])[static_cast<size_t>(nColumn)]);
        out += (nRow == 0 ? "\n  " : ",\n  ") +
               QJsonDocument(phone).toJson(QJsonDocument::Compact).toStdString();
    }
    out += rows.empty() ? "]\n" : "\n]\n";
    fputs(out.c_str(), stdout);
}

} // namespace

int RunListCommand(const CListOptions& options, int argc, char** argv) {
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
        QCoreApplication app(argc, argv);
        CPhoneDiscovery discovery(dwLocal);
        discovery.Start();
        const auto quitAfterListening = [&app, &options] {
            QTimer::singleShot(static_cast<int>(options.dSeconds * 1000), &app,
                               &QCoreApplication::quit);
        };
        // The rows keep one phone per address, so the replies to every
        // probe merge into them.
        int nSent = 1;
        QTimer probes;
        probes.setInterval(kProbeIntervalMs);
        QObject::connect(&probes, &QTimer::timeout, &app, [&] {
            discovery.SendProbe();
            if (++nSent == options.nProbes) {
                probes.stop();
                quitAfterListening();
            }
        });
        if (nSent < options.nProbes)
            probes.start();
        else
            quitAfterListening();
        app.exec();
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
