// The Windows side of the default trace sink: the debugger's output, where a
// debugger or DebugView shows the lines as the bytes they are.
#include "TraceDefault.h"

#include "Win32Api.h"

void WriteDefaultTrace(const char* pszText) {
    Win32::DebugOutput(pszText);
}
