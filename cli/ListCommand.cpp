#include "ListCommand.h"

#include "Ipv4Text.h"
#include "PhoneDiscovery.h"
#include "TextTable.h"
#include "Trace.h"
#include "WinSock.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <cstdio>

namespace {

// The JSON names of the seven columns, in the dialog's order; "ip" is what
// --phones-from reads back.
const char* const kJsonKeys[CPhoneListModel::kColumns] = {
    "ip", "mac", "typeVersion", "ipType", "phoneNumber", "logOn", "busy"};

void PrintTable(const CPhoneListModel& rows) {
    std::vector<TextRow> table(1);
    for (int nColumn = 0; nColumn < CPhoneListModel::kColumns; ++nColumn)
        table[0].push_back(CPhoneListModel::Heading(nColumn));
    for (int nRow = 0; nRow < rows.GetItemCount(); ++nRow) {
        const PhoneTexts& texts = rows.Row(nRow);
        table.emplace_back(texts.begin(), texts.end());
    }
    PrintTextTable(stdout, table);
}

void PrintJson(const CPhoneListModel& rows) {
    std::string out = "[";
    for (int nRow = 0; nRow < rows.GetItemCount(); ++nRow) {
        QJsonObject phone;
        const PhoneTexts& texts = rows.Row(nRow);
        for (int nColumn = 0; nColumn < CPhoneListModel::kColumns; ++nColumn)
            phone[kJsonKeys[nColumn]] = QString::fromStdString(texts[static_cast<size_t>(nColumn)]);
        out += (nRow == 0 ? "\n  " : ",\n  ") +
               QJsonDocument(phone).toJson(QJsonDocument::Compact).toStdString();
    }
    out += rows.GetItemCount() > 0 ? "\n]\n" : "]\n";
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
    // Socket diagnostics are not for the terminal.
    SetTraceSink([](const std::string&) {});
    if (!WinSock2Init()) {
        fprintf(stderr, "orvex: Winsock 2.0 failed\n");
        return 1;
    }
    int nRows = 0;
    {
        QCoreApplication app(argc, argv);
        CPhoneDiscovery discovery(dwLocal);
        discovery.Start();
        QTimer::singleShot(static_cast<int>(options.dSeconds * 1000), &app,
                           &QCoreApplication::quit);
        app.exec();
        discovery.Stop();
        if (options.bJson)
            PrintJson(discovery.Rows());
        else
            PrintTable(discovery.Rows());
        nRows = discovery.Rows().GetItemCount();
    }
    WinSock2Free();
    return nRows > 0 ? 0 : 1;
}
