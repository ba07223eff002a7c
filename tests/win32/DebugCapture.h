// Runs a program as a debugger would and collects what it writes with
// OutputDebugStringA. Plain types: the test includes platform headers, whose
// Win32 names clash with <windows.h>.
#pragma once

#include <string>
#include <vector>

// The program's debug strings in order; false when it could not be run.
bool CaptureDebugOutput(const std::string& commandLine, std::vector<std::string>* pStrings);
