// The image or HEX page from the command line, read once into a sealed
// memory file. `check` reads what it would send from here, and every worker
// and every retry is handed the same descriptor, never the path: a FIFO or
// standard input gives its bytes once, and a file changed during the run
// changes nothing that is sent. posix/InputImage.cpp keeps the bytes in a
// sealed memfd, win32/InputImage.cpp in a temporary file that nobody may
// write or delete while orvex holds it.
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

    // The sealed memory file's descriptor (close-on-exec; a worker is
    // handed it on purpose), on Windows the handle of the read-only file that
    // holds the bytes; -1 before a successful Read.
    int Fd() const { return m_fd; }
    int64_t Length() const { return m_nLength; }
    // A path by which this process opens the bytes afresh.
    std::string Path() const;

    // The same for a descriptor (handle) this process was handed.
    static std::string DescriptorPath(int fd);

private:
    int m_fd = -1;
    int64_t m_nLength = 0;
    // Windows: the writing handle, which keeps other writers out, and the
    // temporary file's path.
    void* m_hWrite = nullptr;
    std::string m_tempPath;
};
