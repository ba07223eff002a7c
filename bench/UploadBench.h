// Upload: 16 MiB through the tool's own path against a raw stop-and-wait
// client, both to one phone simulator acknowledging at once.
#pragma once

#include <string>

class CBenchTable;

void RunUploadBench(const std::string& phoneSim, CBenchTable* pTable);
