// The Linux side of AtomicFile.h.
#include "AtomicFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool WriteAll(int fd, const std::string& text) {
    size_t nDone = 0;
    while (nDone < text.size()) {
        const ssize_t n = write(fd, text.data() + nDone, text.size() - nDone);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        nDone += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

CAtomicFile::~CAtomicFile() {
    if (m_nFile >= 0) {
        close(static_cast<int>(m_nFile));
        unlink(m_tempPath.c_str());
    }
}

bool CAtomicFile::Open(std::string* pReason) {
    std::string temp = m_path + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
        *pReason = strerror(errno);
        return false;
    }
    m_nFile = fd;
    m_tempPath = temp;
    // mkstemp makes it private; the file is as readable as any file made here.
    const mode_t nMask = umask(0);
    umask(nMask);
    fchmod(fd, 0666 & ~nMask);
    return true;
}

bool CAtomicFile::Commit(const std::string& text, std::string* pReason) {
    const int fd = static_cast<int>(m_nFile);
    const bool bWritten = WriteAll(fd, text) && fsync(fd) == 0;
    const int nError = errno;
    close(fd);
    m_nFile = -1;
    if (!bWritten || rename(m_tempPath.c_str(), m_path.c_str()) != 0) {
        *pReason = strerror(bWritten ? errno : nError);
        unlink(m_tempPath.c_str());
        return false;
    }
    return true;
}
