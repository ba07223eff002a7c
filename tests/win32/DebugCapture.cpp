#include "DebugCapture.h"

#include <windows.h>

bool CaptureDebugOutput(const std::string& commandLine, std::vector<std::string>* pStrings) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::string command = commandLine;
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS,
                        nullptr, nullptr, &startup, &process))
        return false;
    bool bDone = false;
    while (!bDone) {
        DEBUG_EVENT event{};
        if (!WaitForDebugEvent(&event, 10000))
            break;
        if (event.dwDebugEventCode == OUTPUT_DEBUG_STRING_EVENT) {
            const OUTPUT_DEBUG_STRING_INFO& info = event.u.DebugString;
            std::string text(info.nDebugStringLength, '\0');
            SIZE_T nRead = 0;
            ReadProcessMemory(process.hProcess, info.lpDebugStringData, text.data(), text.size(),
                              &nRead);
            text.resize(nRead);
            // The length counts the terminator.
            if (!text.empty() && text.back() == '\0')
                text.pop_back();
            pStrings->push_back(text);
        } else if (event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT) {
            CloseHandle(event.u.CreateProcessInfo.hFile);
        } else if (event.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT) {
            CloseHandle(event.u.LoadDll.hFile);
        } else if (event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT) {
            bDone = true;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return bDone;
}
