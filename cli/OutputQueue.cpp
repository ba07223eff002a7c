#include "OutputQueue.h"

#include "Console.h"

#include <cstdio>

COutputQueue::COutputQueue(int fd, const char* pszClosedNote)
    : m_fd(fd), m_pszClosedNote(pszClosedNote), m_writer([this] { Writer(); }) {}

COutputQueue::~COutputQueue() {
    Finish();
}

void COutputQueue::Add(std::string text) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_bClosed)
            return;
        m_entries.push_back({std::move(text), false, 0});
    }
    m_cvWork.notify_one();
}

void COutputQueue::AddProgress(uint64_t nKey, std::string text) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_bClosed)
            return;
        auto it = m_progress.find(nKey);
        if (it != m_progress.end()) {
            m_entries.erase(it->second);
            m_progress.erase(it);
        }
        m_entries.push_back({std::move(text), true, nKey});
        m_progress[nKey] = std::prev(m_entries.end());
    }
    m_cvWork.notify_one();
}

bool COutputQueue::Idle() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_entries.empty() && !m_bWriting;
}

bool COutputQueue::Closed() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bClosed;
}

void COutputQueue::Finish() {
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_writer.joinable())
            return;
        m_cvIdle.wait(lock, [this] { return m_entries.empty() && !m_bWriting; });
        m_bStop = true;
    }
    m_cvWork.notify_one();
    m_writer.join();
}

void COutputQueue::Writer() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_cvWork.wait(lock, [this] { return m_bStop || !m_entries.empty(); });
        if (m_entries.empty())
            return;
        CEntry entry = std::move(m_entries.front());
        m_entries.pop_front();
        if (entry.bProgress)
            m_progress.erase(entry.nKey);
        m_bWriting = true;
        lock.unlock();
        // Blocks as long as the reader stalls; only this thread waits.
        const bool bWritten = WriteAllTo(m_fd, entry.text.data(), entry.text.size());
        lock.lock();
        m_bWriting = false;
        if (!bWritten && !m_bClosed) {
            // A closed pipe (on Linux EPIPE, SIGPIPE being ignored) or any
            // other end: nothing more can
            // reach the reader.
            m_bClosed = true;
            m_entries.clear();
            m_progress.clear();
            if (m_pszClosedNote != nullptr) {
                lock.unlock();
                fprintf(stderr, "%s\n", m_pszClosedNote);
                lock.lock();
            }
        }
        if (m_entries.empty())
            m_cvIdle.notify_all();
    }
}
