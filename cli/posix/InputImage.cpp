// The Linux side of InputImage.h: the bytes in a sealed memfd.
#include "InputImage.h"

#include "HexStop.h"
#include "UploadSize.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t kChunk = 64 * 1024;

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

std::string TooLong(const std::string& path) {
    return path + ": is longer than " + std::to_string(kMaxUploadLength) +
           " bytes, more than an update can send";
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
        *pError = TooLong(path);
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
    CHexStop hexStop;
    bool bAnyByte = false; // a page that begins with Ctrl-Z is not empty
    int64_t nLength = 0;
    std::string buffer(kChunk, '\0');
    while (!hexStop.Stopped()) {
        const ssize_t nRead = read(in.Get(), &buffer[0], buffer.size());
        if (nRead < 0 && errno == EINTR)
            continue;
        if (nRead < 0) {
            *pError = path + ": cannot be read: " + strerror(errno);
            return false;
        }
        if (nRead == 0)
            break;
        bAnyByte = true;
        size_t nKeep = static_cast<size_t>(nRead);
        if (bHexPage)
            nKeep = hexStop.Scan(buffer.data(), nKeep);
        nLength += static_cast<int64_t>(nKeep);
        if (nLength > kMaxUploadLength) {
            *pError = TooLong(path);
            return false;
        }
        if (!WriteAll(image.Get(), buffer.data(), nKeep)) {
            *pError = std::string("no memory for the image: ") + strerror(errno);
            return false;
        }
    }
    if (!bAnyByte) {
        *pError = path + ": is empty";
        return false;
    }
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
