#include "SystemError.h"

#include <cerrno>
#include <cstring>
#include <windows.h>

std::string SystemErrorText(uint32_t dwError) {
    switch (dwError) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
        return strerror(ENOENT);
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return strerror(EACCES);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return strerror(ENOSPC);
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return strerror(ENOMEM);
    case ERROR_FILENAME_EXCED_RANGE:
        return strerror(ENAMETOOLONG);
    default:
        break;
    }
    char* pszText = nullptr;
    const DWORD nLength = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, dwError, 0, reinterpret_cast<char*>(&pszText), 0, nullptr);
    std::string text = nLength > 0 ? std::string(pszText, nLength) : std::string();
    LocalFree(pszText);
    // One line, without the system's full stop and line end.
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.'))
        text.pop_back();
    return text.empty() ? "error " + std::to_string(dwError) : text;
}
