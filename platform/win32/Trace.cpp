// The Windows side of Trace.h: the default sink is the debugger's output,
// where a debugger or DebugView shows the lines as the bytes they are.
#include "Trace.h"

#include "Win32Api.h"

#include <mutex>

namespace {
std::mutex g_traceMutex;
TraceSink g_fnSink;
} // namespace

void OutputDebugStringA(const char* pszText) {
    if (pszText == nullptr)
        return;
    std::lock_guard<std::mutex> lock(g_traceMutex);
    if (g_fnSink) {
        g_fnSink(pszText);
        return;
    }
    Win32::DebugOutput(pszText);
}

void SetTraceSink(TraceSink fnSink) {
    std::lock_guard<std::mutex> lock(g_traceMutex);
    g_fnSink = std::move(fnSink);
}
