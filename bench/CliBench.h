// orvex updating many phones at once against one phone alone, in one run.
#pragma once

#include <string>

class CBenchTable;

void RunCliBench(const std::string& phoneSim, const std::string& orvex, CBenchTable* pTable);
