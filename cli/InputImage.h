// The image or HEX page from the command line, read once into a sealed
// memory file. `check` reads what it would send from here, and every worker
// and every retry is handed the same descriptor, never the path: a FIFO or
// standard input gives its bytes once, and a file changed during the run
// changes nothing that is sent.
#pragma once

#include <cstdint>
#include <string>

class CInputImage {
public:
    CInputImage() = default;
    ~CInputImage();
    CInputImage(const CInputImage&) = delete;
    CInputImage& operator=(const CInputImage&) = delete;

    // Reads path whole: a file, a FIFO, /dev/stdin, a process substitution.
    // False with a one-line reason when it cannot be opened or read, is a
    // folder, is empty or is longer than an upload can be. A HEX page is
    // read only as far as the HEX reader reads.
    bool Read(const std::string& path, bool bHexPage, std::string* pError);

    // The sealed memory file (close-on-exec; a worker is handed it on
    // purpose), -1 before a successful Read.
    int Fd() const { return m_fd; }
    int64_t Length() const { return m_nLength; }
    // A path by which this process opens the bytes afresh.
    std::string Path() const { return DescriptorPath(m_fd); }

    static std::string DescriptorPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

private:
    int m_fd = -1;
    int64_t m_nLength = 0;
};
