// Discovery: one probe answered at once by N simulated phones inside the
// test namespaces; rows listed and the time from the probe to the last row.
#pragma once

#include <string>

class CBenchTable;

void RunDiscoveryBench(const std::string& phoneSim, CBenchTable* pTable);
