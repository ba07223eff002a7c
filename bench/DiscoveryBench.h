// Discovery inside the test namespaces: one probe answered at once by N
// simulated phones (rows listed, time from the probe to the last row), and a
// flood of a million replies from distinct addresses (rows capped, memory
// bounded), each with the tool's peak resident memory and the longest time
// the list's event loop was kept from running.
#pragma once

#include <string>

class CBenchTable;

void RunDiscoveryBench(const std::string& phoneSim, CBenchTable* pTable);
