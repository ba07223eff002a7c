// The Linux side of InputImage.h: the bytes in a sealed memfd.
#include "InputImage.h"

#include "ImageCopy.h"
#include "UploadSize.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class CFd {
public:
    explicit CFd(int fd) : m_fd(fd) {}
    ~CFd() {
        if (m_fd >= 0)
            close(m_fd);
    }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    int Get() const { return m_fd; }
    int Release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

bool WriteAll(int fd, const char* p, size_t n) {
    while (n > 0) {
        const ssize_t nDone = write(fd, p, n);
        if (nDone < 0 && errno == EINTR)
            continue;
        if (nDone <= 0)
            return false;
        p += nDone;
        n -= static_cast<size_t>(nDone);
    }
    return true;
}

} // namespace

std::string CInputImage::Path() const {
    return DescriptorPath(m_fd);
}

std::string CInputImage::DescriptorPath(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

CInputImage::~CInputImage() {
    if (m_fd >= 0)
        close(m_fd);
}

bool CInputImage::Read(const std::string& path, bool bHexPage, std::string* pError) {
    CFd in(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st;
    if (in.Get() < 0 || fstat(in.Get(), &st) != 0) {
        *pError = path + ": " + strerror(errno);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        *pError = path + ": is a folder, not a file";
        return false;
    }
    if (S_ISREG(st.st_mode) && st.st_size > kMaxUploadLength && !bHexPage) {
        *pError = ImageTooLong(path);
        return false;
    }
    int fdImage = memfd_create("orvex-image", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    // Above standard input, output and error, which a worker gets anew.
    if (fdImage >= 0 && fdImage <= STDERR_FILENO) {
        const int fdLow = fdImage;
        fdImage = fcntl(fdLow, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
        close(fdLow);
    }
    CFd image(fdImage);
    if (image.Get() < 0) {
        *pError = std::string("no memory file for the image: ") + strerror(errno);
        return false;
    }
    const auto read = [&](char* p, size_t n, std::string* pError) -> int64_t {
        for (;;) {
            const ssize_t nRead = ::read(in.Get(), p, n);
            if (nRead >= 0)
                return nRead;
            if (errno != EINTR) {
                *pError = path + ": cannot be read: " + strerror(errno);
                return -1;
            }
        }
    };
    const auto write = [&](const char* p, size_t n, std::string* pError) {
        if (WriteAll(image.Get(), p, n))
            return true;
        *pError = std::string("no memory for the image: ") + strerror(errno);
        return false;
    };
    int64_t nLength = 0;
    if (!CopyImage(path, bHexPage, read, write, &nLength, pError))
        return false;
    // Nobody, this process included, can change the bytes from here on.
    if (fcntl(image.Get(), F_ADD_SEALS, F_SEAL_WRITE | F_SEAL_GROW | F_SEAL_SHRINK | F_SEAL_SEAL) !=
        0) {
        *pError = std::string("the image cannot be sealed: ") + strerror(errno);
        return false;
    }
    if (m_fd >= 0)
        close(m_fd);
    m_fd = image.Release();
    m_nLength = nLength;
    return true;
}
