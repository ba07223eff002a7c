// HEX: a full 64 KiB page file loaded into the page image, in MB/s.
#pragma once

class CBenchTable;

void RunHexBench(CBenchTable* pTable);
