// The diagnostic sink: one process-wide line sink taking byte strings.
#pragma once

#include <functional>
#include <string>

void OutputDebugStringA(const char* pszText);
inline void OutputDebugStringA(const std::string& text) { OutputDebugStringA(text.c_str()); }

// Replaces the sink (tests capture exact bytes); an empty function restores
// the default, which writes to stderr, transcoding GB2312 text to the
// locale's encoding so a UTF-8 terminal shows it.
using TraceSink = std::function<void(const std::string&)>;
void SetTraceSink(TraceSink fnSink);
