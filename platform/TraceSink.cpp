// The process-wide trace sink, the same on both platforms; only the default
// it falls back to differs (Trace.cpp, win32/Trace.cpp).
#include "Trace.h"

#include "TraceDefault.h"

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
    WriteDefaultTrace(pszText);
}

void SetTraceSink(TraceSink fnSink) {
    std::lock_guard<std::mutex> lock(g_traceMutex);
    g_fnSink = std::move(fnSink);
}
