// What a socket's I/O thread has posted to its owner and the owner has not
// yet freed, counted in bytes of heap: the bound that keeps a peer sending
// faster than the owner takes from making the tool's memory grow without
// limit. A record is charged just before it is posted and credited when
// FreeWsaBuf frees it, on whatever thread that happens (the receiver's, or a
// queue that discards the message). When the backlog falls to half the bound
// the room event is set, so a paused I/O thread wakes without polling.
#pragma once

#include "Event.h"

#include <atomic>
#include <cstddef>
#include <memory>

class CReceiveBudget : public std::enable_shared_from_this<CReceiveBudget> {
public:
    // Made shared: each charged record keeps its budget alive until freed.
    static std::shared_ptr<CReceiveBudget> Create(size_t nBound);
    ~CReceiveBudget();
    CReceiveBudget(const CReceiveBudget&) = delete;
    CReceiveBudget& operator=(const CReceiveBudget&) = delete;

    // The heap one record of nBytes takes: the bytes, the record, and an
    // allowance for the allocator's headers and the message that carries it.
    static size_t Cost(size_t nBytes);

    // Whether nCost more bytes stay within the bound.
    bool HasRoom(size_t nCost) const { return m_nPending.load() + nCost <= m_nBound; }
    size_t Pending() const { return m_nPending.load(); }
    size_t Bound() const { return m_nBound; }
    // Charges nCost bytes until FreeWsaBuf frees pBuf.
    void Charge(WSABUF* pBuf, size_t nCost);
    // Auto-reset; set each time the backlog falls to half the bound.
    CEvent& RoomEvent() { return m_room; }

private:
    explicit CReceiveBudget(size_t nBound);
    friend void CreditFreedRecord(WSABUF* pBuf);
    void Credit(size_t nCost);

    const size_t m_nBound;
    std::atomic<size_t> m_nPending{0};
    CEvent m_room;
};
