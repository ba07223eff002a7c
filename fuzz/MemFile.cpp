#include "MemFile.h"

#include <cstdio>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

CMemFile::CMemFile() : m_fd(memfd_create("fuzz-input", MFD_CLOEXEC)) {
    if (m_fd < 0) {
        perror("memfd_create");
        abort();
    }
    m_strPath = "/proc/self/fd/" + std::to_string(m_fd);
}

CMemFile::~CMemFile() {
    close(m_fd);
}

void CMemFile::Assign(const uint8_t* pData, size_t nSize) {
    if (ftruncate(m_fd, 0) != 0) {
        perror("ftruncate");
        abort();
    }
    size_t nDone = 0;
    while (nDone < nSize) {
        const ssize_t n = pwrite(m_fd, pData + nDone, nSize - nDone, static_cast<off_t>(nDone));
        if (n <= 0) {
            perror("pwrite");
            abort();
        }
        nDone += static_cast<size_t>(n);
    }
}
