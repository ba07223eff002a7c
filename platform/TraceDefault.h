// Each platform's default trace sink, where OutputDebugStringA writes while
// no sink is set: stderr on Linux, the debugger's output on Windows.
#pragma once

void WriteDefaultTrace(const char* pszText);
