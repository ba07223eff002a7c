// A file that appears whole or not at all: the text goes to a temporary file
// beside it, is flushed to the disk and then replaces the file in one step
// (posix/AtomicFile.cpp: mkstemp, fsync, rename; win32/AtomicFile.cpp:
// FlushFileBuffers, MoveFileEx with MOVEFILE_REPLACE_EXISTING and
// MOVEFILE_WRITE_THROUGH).
#pragma once

#include <cstdint>
#include <string>

class CAtomicFile {
public:
    explicit CAtomicFile(std::string path) : m_path(std::move(path)) {}
    ~CAtomicFile(); // removes a temporary file that never replaced the file
    CAtomicFile(const CAtomicFile&) = delete;
    CAtomicFile& operator=(const CAtomicFile&) = delete;

    // Makes the temporary file. False with the system's reason.
    bool Open(std::string* pReason);
    // Writes text and puts the file in place. False with the system's reason.
    bool Commit(const std::string& text, std::string* pReason);

private:
    std::string m_path;
    std::string m_tempPath;
    intptr_t m_nFile = -1; // the descriptor, or the handle on Windows
};
