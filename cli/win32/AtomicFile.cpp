// The Windows side of AtomicFile.h: a temporary file beside the report,
// FlushFileBuffers, then MoveFileEx over the report, replacing it and
// returning only once the move is on the disk.
#include "AtomicFile.h"

#include "SystemError.h"

#include <windows.h>

namespace {

HANDLE HandleOf(intptr_t n) {
    return reinterpret_cast<HANDLE>(n);
}

} // namespace

CAtomicFile::~CAtomicFile() {
    if (m_nFile != -1) {
        CloseHandle(HandleOf(m_nFile));
        DeleteFileA(m_tempPath.c_str());
    }
}

bool CAtomicFile::Open(std::string* pReason) {
    // A name of its own beside the file: the process and a count.
    static unsigned s_nCount = 0;
    for (int nTry = 0; nTry < 100; ++nTry) {
        const std::string temp = m_path + "." + std::to_string(GetCurrentProcessId()) + "-" +
                                 std::to_string(++s_nCount) + ".tmp";
        const HANDLE h = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            m_nFile = reinterpret_cast<intptr_t>(h);
            m_tempPath = temp;
            return true;
        }
        if (GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    *pReason = SystemErrorText(GetLastError());
    return false;
}

bool CAtomicFile::Commit(const std::string& text, std::string* pReason) {
    const HANDLE h = HandleOf(m_nFile);
    bool bWritten = true;
    for (size_t nDone = 0; bWritten && nDone < text.size();) {
        DWORD n = 0;
        bWritten = WriteFile(h, text.data() + nDone, static_cast<DWORD>(text.size() - nDone), &n,
                             nullptr) &&
                   n > 0;
        nDone += n;
    }
    bWritten = bWritten && FlushFileBuffers(h);
    DWORD dwError = GetLastError();
    CloseHandle(h);
    m_nFile = -1;
    if (bWritten && !MoveFileExA(m_tempPath.c_str(), m_path.c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        bWritten = false;
        dwError = GetLastError();
    }
    if (!bWritten) {
        *pReason = SystemErrorText(dwError);
        DeleteFileA(m_tempPath.c_str());
        return false;
    }
    return true;
}
