// orvex list: probes as List Phones does, a few times one second apart so a
// reply lost on a busy network costs nothing, listens a while after the last
// probe, and prints the rows in the dialog's order with its headings, as CSV
// or as one JSON array, only those that pass every --where condition.
#pragma once

#include <string>
#include <vector>

struct CListOptions {
    int nProbes = 3;
    double dSeconds = 1;      // listening after the last probe
    std::string localAddress; // empty: the host's own address, as the dialog takes it
    bool bJson = false;
    bool bCsv = false;
    std::vector<std::string> where; // FIELD=GLOB or FIELD!=GLOB, all must hold
};

// 0 when at least one phone is listed, 1 when none is (none answered, or
// none passed --where), 2 for a bad address or condition.
int RunListCommand(const CListOptions& options);
