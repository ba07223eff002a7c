// orvex list: probes as List Phones does, listens for a while, and prints
// the rows in the dialog's order with its headings, or as one JSON array.
#pragma once

#include <string>

struct CListOptions {
    double dSeconds = 3;
    std::string localAddress; // empty: the host's own address, as the dialog takes it
    bool bJson = false;
};

// 0 when at least one phone answered, 1 when none did, 2 for a bad address.
int RunListCommand(const CListOptions& options, int argc, char** argv);
