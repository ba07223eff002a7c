// A confirmed fleet run at site scale: a thousand simulated phones in the
// test namespaces, updated 64 at a time with --confirm and a report.
#pragma once

#include <string>

class CBenchTable;

void RunFleetBench(const std::string& phoneSim, const std::string& orvex, CBenchTable* pTable);
