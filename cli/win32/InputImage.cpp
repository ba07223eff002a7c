// The Windows side of InputImage.h. The bytes go to a temporary file that
// orvex holds open for writing while sharing it for reading only: nobody
// else may write, truncate or delete it while the run lasts. A worker
// inherits a read-only handle to it, named on its command line, and opens
// the bytes by that handle's own path, as the procedures open files by
// name. (A pagefile-backed mapping has no name a procedure could open.)
// The file goes when orvex ends the image; one killed outright leaves it in
// the temporary folder.
#include "InputImage.h"

#include "ImageCopy.h"
#include "SystemError.h"
#include "UploadSize.h"

#include <windows.h>

namespace {

HANDLE HandleOf(int n) {
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(n));
}

class CHandle {
public:
    explicit CHandle(HANDLE h) : m_h(h) {}
    ~CHandle() {
        if (m_h != INVALID_HANDLE_VALUE && m_h != nullptr)
            CloseHandle(m_h);
    }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;
    HANDLE Get() const { return m_h; }
    bool IsValid() const { return m_h != INVALID_HANDLE_VALUE && m_h != nullptr; }
    HANDLE Release() {
        const HANDLE h = m_h;
        m_h = INVALID_HANDLE_VALUE;
        return h;
    }

private:
    HANDLE m_h;
};

bool WriteAll(HANDLE h, const char* p, size_t n) {
    while (n > 0) {
        DWORD nDone = 0;
        if (!WriteFile(h, p, static_cast<DWORD>(n), &nDone, nullptr) || nDone == 0)
            return false;
        p += nDone;
        n -= nDone;
    }
    return true;
}

// A new file in the temporary folder, shared for reading only.
HANDLE NewTemporaryFile(std::string* pPath) {
    char szFolder[MAX_PATH + 1];
    char szName[MAX_PATH + 1];
    const DWORD n = GetTempPathA(sizeof szFolder, szFolder);
    if (n == 0 || n > MAX_PATH || GetTempFileNameA(szFolder, "orv", 0, szName) == 0)
        return INVALID_HANDLE_VALUE;
    *pPath = szName;
    const HANDLE h = CreateFileA(szName, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                 TRUNCATE_EXISTING, FILE_ATTRIBUTE_TEMPORARY, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        DeleteFileA(szName);
    return h;
}

} // namespace

std::string CInputImage::Path() const {
    return DescriptorPath(m_fd);
}

std::string CInputImage::DescriptorPath(int fd) {
    char szPath[MAX_PATH * 2];
    const DWORD n = GetFinalPathNameByHandleA(HandleOf(fd), szPath, sizeof szPath,
                                              FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    return n > 0 && n < sizeof szPath ? std::string(szPath, n) : std::string();
}

CInputImage::~CInputImage() {
    if (m_fd == -1)
        return;
    CloseHandle(HandleOf(m_fd));
    CloseHandle(m_hWrite);
    DeleteFileA(m_tempPath.c_str());
}

bool CInputImage::Read(const std::string& path, bool bHexPage, std::string* pError) {
    const DWORD dwAttributes = GetFileAttributesA(path.c_str());
    if (dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        *pError = path + ": is a folder, not a file";
        return false;
    }
    CHandle in(CreateFileA(path.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!in.IsValid()) {
        *pError = path + ": " + SystemErrorText(GetLastError());
        return false;
    }
    LARGE_INTEGER size{};
    if (GetFileType(in.Get()) == FILE_TYPE_DISK && GetFileSizeEx(in.Get(), &size) &&
        size.QuadPart > kMaxUploadLength && !bHexPage) {
        *pError = ImageTooLong(path);
        return false;
    }
    std::string tempPath;
    CHandle image(NewTemporaryFile(&tempPath));
    if (!image.IsValid()) {
        *pError = "no temporary file for the image: " + SystemErrorText(GetLastError());
        return false;
    }
    // Removed on every way out but success.
    struct CRemove {
        const std::string& path;
        bool bKeep = false;
        ~CRemove() {
            if (!bKeep)
                DeleteFileA(path.c_str());
        }
    } remove{tempPath};
    const auto read = [&](char* p, size_t n, std::string* pError) -> int64_t {
        DWORD nRead = 0;
        if (ReadFile(in.Get(), p, static_cast<DWORD>(n), &nRead, nullptr))
            return nRead;
        const DWORD dwError = GetLastError();
        if (dwError == ERROR_BROKEN_PIPE || dwError == ERROR_HANDLE_EOF)
            return 0; // a pipe's writer has gone: its end
        *pError = path + ": cannot be read: " + SystemErrorText(dwError);
        return -1;
    };
    const auto write = [&](const char* p, size_t n, std::string* pError) {
        if (WriteAll(image.Get(), p, n))
            return true;
        *pError = "no room for the image: " + SystemErrorText(GetLastError());
        return false;
    };
    int64_t nLength = 0;
    if (!CopyImage(path, bHexPage, read, write, &nLength, pError))
        return false;
    // What workers get: reading only. The writing handle stays here, unused,
    // and with it the share mode that keeps every other writer out.
    HANDLE hRead = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), image.Get(), GetCurrentProcess(), &hRead,
                         GENERIC_READ, FALSE, 0)) {
        *pError = "the image cannot be shared: " + SystemErrorText(GetLastError());
        return false;
    }
    if (m_fd != -1) {
        CloseHandle(HandleOf(m_fd));
        CloseHandle(m_hWrite);
        DeleteFileA(m_tempPath.c_str());
    }
    remove.bKeep = true;
    m_hWrite = image.Release();
    m_tempPath = tempPath;
    m_fd = static_cast<int>(reinterpret_cast<intptr_t>(hRead));
    m_nLength = nLength;
    return true;
}
