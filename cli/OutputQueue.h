// Lines for one output (orvex's standard output, a worker's pipe to its
// parent), written by a thread of their own: a reader that stalls (a slow
// pipe, Ctrl-S, a stalled ssh session) never holds up the caller, which may
// be serving phones, and a reader that goes away ends the output, not the
// update. Nothing is lost but progress that a newer report replaces.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <list>
#include <map>
#include <mutex>
#include <string>
#include <thread>

class COutputQueue {
public:
    // pszClosedNote goes once to standard error when the reader has gone;
    // null for none.
    COutputQueue(int fd, const char* pszClosedNote);
    ~COutputQueue(); // Finish()
    COutputQueue(const COutputQueue&) = delete;
    COutputQueue& operator=(const COutputQueue&) = delete;

    // Kept until it is written, or the reader has gone. text holds whole
    // lines.
    void Add(std::string text);
    // The latest progress of one phone (key): it replaces that phone's
    // progress not yet written, and goes after everything added before it.
    void AddProgress(uint64_t nKey, std::string text);
    // Everything added has been written (or dropped for a gone reader).
    bool Idle();
    bool Closed();
    // Waits until everything is written or the reader has gone, then ends
    // the writer. Nothing may be added afterwards.
    void Finish();

private:
    struct CEntry {
        std::string text;
        bool bProgress;
        uint64_t nKey;
    };
    void Writer();

    const int m_fd;
    const char* const m_pszClosedNote;
    std::mutex m_mutex;
    std::condition_variable m_cvWork;
    std::condition_variable m_cvIdle;
    std::list<CEntry> m_entries;
    std::map<uint64_t, std::list<CEntry>::iterator> m_progress; // not yet written
    bool m_bWriting = false;                                    // an entry is in write()
    bool m_bStop = false;
    bool m_bClosed = false;
    std::thread m_writer;
};
