// orvex list inside the test namespaces against a /16 full of simulated
// phones: how many of them each of three consecutive runs lists, with one
// probe and with three.
#pragma once

#include <string>

class CBenchTable;

void RunListBench(const std::string& phoneSim, const std::string& orvex, CBenchTable* pTable);
