// The Linux side of Event.h: each CEvent is an eventfd.
#include "Event.h"

#include <cerrno>
#include <chrono>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

CEvent::CEvent(bool bManualReset, bool bInitialState)
    : m_hNative(eventfd(bInitialState ? 1 : 0, EFD_NONBLOCK | EFD_CLOEXEC)),
      m_bManualReset(bManualReset), m_nUnread(bInitialState ? 1 : 0) {}

CEvent::~CEvent() {
    if (m_hNative >= 0)
        close(m_hNative);
}

void CEvent::Set() {
    const uint64_t one = 1;
    // The counter only grows to a few; EAGAIN would mean 2^64-1 sets.
    // Counted before the write, so the count is never below what the
    // descriptor holds, whoever reads it meanwhile.
    m_nUnread.fetch_add(1);
    if (write(m_hNative, &one, sizeof one) != static_cast<ssize_t>(sizeof one))
        m_nUnread.fetch_sub(1);
}

bool CEvent::Drain() {
    uint64_t value;
    if (read(m_hNative, &value, sizeof value) != static_cast<ssize_t>(sizeof value))
        return false;
    m_nUnread.fetch_sub(static_cast<int64_t>(value));
    return true;
}

void CEvent::Reset() {
    // An upload resets the acknowledgement before every block, nearly always
    // after its wait has taken the signal: then there is nothing to read.
    if (m_nUnread.load() > 0)
        Drain();
}

bool CEvent::TryAcquire() {
    if (m_bManualReset) {
        pollfd pfd{m_hNative, POLLIN, 0};
        return poll(&pfd, 1, 0) == 1 && (pfd.revents & POLLIN);
    }
    // An event not set is known by its count, without a read that fails.
    return m_nUnread.load() > 0 && AcquireReady();
}

bool CEvent::AcquireReady() {
    if (m_bManualReset)
        return true; // readable means set
    // Reading clears the counter, so several sets release one wait.
    return Drain();
}

DWORD CEvent::Wait(DWORD dwMilliseconds) {
    if (m_hNative < 0)
        return WAIT_FAILED;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(dwMilliseconds);
    // Most waits find the event not yet set, and the count says so without
    // a failed read; one that is set is taken without a poll.
    if (!m_bManualReset && m_nUnread.load() > 0 && AcquireReady())
        return WAIT_OBJECT_0;
    for (;;) {
        int timeout = -1;
        if (dwMilliseconds != INFINITE) {
            // Rounded up, so the wait never ends before its time.
            auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            timeout = left.count() > 0 ? static_cast<int>(left.count()) : 0;
        }
        pollfd pfd{m_hNative, POLLIN, 0};
        const int rc = poll(&pfd, 1, timeout);
        if (rc < 0 && errno != EINTR)
            return WAIT_FAILED;
        if (rc > 0 && AcquireReady())
            return WAIT_OBJECT_0;
        if (rc == 0 && timeout == 0)
            return WAIT_TIMEOUT;
        // Interrupted, poll's own time-out (checked against the deadline
        // again), or another waiter took the signal first: wait on.
    }
}
