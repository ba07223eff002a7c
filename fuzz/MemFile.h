// A file in memory that a path-taking reader can open: the fuzz input is
// written to it, so the reader's own file code runs without touching a disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class CMemFile {
public:
    CMemFile();
    ~CMemFile();
    CMemFile(const CMemFile&) = delete;
    CMemFile& operator=(const CMemFile&) = delete;

    // Replaces the whole content; aborts when the write fails, since a
    // fuzzer that silently reads nothing proves nothing.
    void Assign(const uint8_t* pData, size_t nSize);
    // A path by which the reader opens the file afresh.
    const std::string& Path() const { return m_strPath; }

private:
    int m_fd;
    std::string m_strPath;
};
