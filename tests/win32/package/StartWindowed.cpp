// Helper program of the installer test: starts a windowed program the way
// the user does (a Start menu shortcut is resolved to its target first),
// waits for a visible top-level window of that very process with the given
// caption, closes it as the user would and waits for the program to end.
// Prints the program started and "window found"; exits 0 only when the
// window appeared and the program then ended of its own accord.
// usage: start-windowed PROGRAM.exe|SHORTCUT.lnk CAPTION SECONDS
#include <windows.h>

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

struct Search {
    DWORD processId;
    const wchar_t* caption;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND wnd, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(wnd, &owner);
    wchar_t text[256] = {};
    if (owner == search->processId && IsWindowVisible(wnd) && GetWindowTextW(wnd, text, 256) > 0 &&
        wcscmp(text, search->caption) == 0) {
        search->found = wnd;
        return FALSE;
    }
    return TRUE;
}

// The shortcut's target, as the shell would start it; empty when it cannot be read.
std::wstring ShortcutTarget(const wchar_t* lnk) {
    std::wstring target;
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link)))) {
        return target;
    }
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        wchar_t path[MAX_PATH] = {};
        if (SUCCEEDED(file->Load(lnk, STGM_READ)) &&
            SUCCEEDED(link->GetPath(path, MAX_PATH, nullptr, 0))) {
            target = path;
        }
        file->Release();
    }
    link->Release();
    return target;
}

bool EndsWith(const std::wstring& text, const wchar_t* tail) {
    const size_t n = wcslen(tail);
    return text.size() >= n && _wcsicmp(text.c_str() + text.size() - n, tail) == 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        std::fputs("usage: start-windowed PROGRAM.exe|SHORTCUT.lnk CAPTION SECONDS\n", stderr);
        return 2;
    }
    std::wstring program = argv[1];
    if (EndsWith(program, L".lnk")) {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        program = ShortcutTarget(argv[1]);
        CoUninitialize();
        if (program.empty()) {
            std::fwprintf(stderr, L"cannot read the shortcut %ls\n", argv[1]);
            return 1;
        }
    }
    std::wprintf(L"started %ls\n", program.c_str());
    std::fflush(stdout);

    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process)) {
        std::fwprintf(stderr, L"cannot start %ls: error %lu\n", program.c_str(), GetLastError());
        return 1;
    }

    Search search = {process.dwProcessId, argv[2], nullptr};
    const DWORD deadline = GetTickCount() + 1000 * static_cast<DWORD>(_wtoi(argv[3]));
    while (search.found == nullptr && GetTickCount() < deadline &&
           WaitForSingleObject(process.hProcess, 100) == WAIT_TIMEOUT) {
        EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    }
    int status = 0;
    if (search.found == nullptr) {
        std::fwprintf(stderr, L"no window \"%ls\" of %ls appeared\n", argv[2], program.c_str());
        status = 1;
    } else {
        std::puts("window found");
        PostMessageW(search.found, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0) {
            std::fputs("the program did not end after its window was closed\n", stderr);
            status = 1;
        }
    }
    if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process.hProcess, 1);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return status;
}
