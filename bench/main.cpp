// orvex-bench: the project's speed figures in one table, measured in one run
// so the ratios hold on a noisy machine. --json FILE writes the table there
// too. Missed targets are marked, never failed: only a measurement that could
// not be made ends with a non-zero status.
#include "BenchTable.h"
#include "CliBench.h"
#include "DiscoveryBench.h"
#include "FleetBench.h"
#include "HexBench.h"
#include "ListBench.h"
#include "Trace.h"
#include "UploadBench.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    std::string jsonPath;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--json") == 0 && i + 1 < argc) {
            jsonPath = argv[++i];
        } else if (strcmp(argv[i], "--only") == 0 && i + 1 < argc) {
            only = argv[++i];
        } else {
            fprintf(stderr,
                    "Usage: %s [--json FILE] [--only upload|discovery|hex|orvex|list|fleet]\n",
                    argv[0]);
            return 2;
        }
    }
    // The table is the output; the tool's diagnostics would bury it.
    SetTraceSink([](const std::string&) {});
    // The progress and List Phones windows open offscreen.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const char* pszSim = getenv("PHONE_SIM");
    const std::string phoneSim = pszSim != nullptr && *pszSim != 0 ? pszSim : ORVEX_PHONE_SIM;

    CBenchTable table;
    // --only runs one section, for profiling it; the figures come from a full run.
    if (only.empty() || only == "upload")
        RunUploadBench(phoneSim, &table);
    if (only.empty() || only == "discovery")
        RunDiscoveryBench(phoneSim, &table);
    if (only.empty() || only == "hex")
        RunHexBench(&table);
    if (only.empty() || only == "orvex")
        RunCliBench(phoneSim, ORVEX_PATH, &table);
    if (only.empty() || only == "list")
        RunListBench(phoneSim, ORVEX_PATH, &table);
    if (only.empty() || only == "fleet")
        RunFleetBench(phoneSim, ORVEX_PATH, &table);

    table.Print();
    if (!jsonPath.empty() && !table.WriteJson(jsonPath)) {
        fprintf(stderr, "orvex-bench: cannot write %s\n", jsonPath.c_str());
        return 1;
    }
    return table.HasError() ? 1 : 0;
}
