#include "ThreadPriorities.h"

#include <windows.h>

#include <tlhelp32.h>

int CountOwnThreadsAtPriority(int nPriority) {
    HANDLE hSnapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (hSnapshot == INVALID_HANDLE_VALUE)
        return -1;
    int nCount = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL bMore = Thread32First(hSnapshot, &entry); bMore;
         bMore = Thread32Next(hSnapshot, &entry)) {
        if (entry.th32OwnerProcessID != GetCurrentProcessId())
            continue;
        HANDLE hThread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID);
        if (hThread == nullptr)
            continue;
        if (GetThreadPriority(hThread) == nPriority)
            ++nCount;
        CloseHandle(hThread);
    }
    CloseHandle(hSnapshot);
    return nCount;
}
