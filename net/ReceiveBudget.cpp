#include "ReceiveBudget.h"

#include <mutex>
#include <unordered_map>
#include <utility>

namespace {
// Two allocator headers and a queued message, roughly.
constexpr size_t kRecordOverhead = 64;

struct CCharge {
    std::shared_ptr<CReceiveBudget> pBudget;
    size_t nCost = 0;
};

// The records charged and not yet freed, of every socket.
struct CRegistry {
    std::mutex mutex;
    std::unordered_map<WSABUF*, CCharge> records;
};

// Never destroyed: records may be freed while statics are torn down.
CRegistry& Registry() {
    static CRegistry* pRegistry = new CRegistry;
    return *pRegistry;
}
} // namespace

void CreditFreedRecord(WSABUF* pBuf) {
    CCharge charge;
    {
        CRegistry& reg = Registry();
        std::lock_guard<std::mutex> lock(reg.mutex);
        auto found = reg.records.find(pBuf);
        if (found == reg.records.end())
            return;
        charge = std::move(found->second);
        reg.records.erase(found);
    }
    charge.pBudget->Credit(charge.nCost);
}

std::shared_ptr<CReceiveBudget> CReceiveBudget::Create(size_t nBound) {
    static std::once_flag s_hooked;
    std::call_once(s_hooked, [] { SetWsaBufFreedHook(CreditFreedRecord); });
    return std::shared_ptr<CReceiveBudget>(new CReceiveBudget(nBound));
}

CReceiveBudget::CReceiveBudget(size_t nBound) : m_nBound(nBound), m_room(false, false) {}

CReceiveBudget::~CReceiveBudget() = default;

size_t CReceiveBudget::Cost(size_t nBytes) {
    return nBytes + sizeof(WSABUF) + kRecordOverhead;
}

void CReceiveBudget::Charge(WSABUF* pBuf, size_t nCost) {
    m_nPending += nCost;
    CCharge previous;
    {
        CRegistry& reg = Registry();
        std::lock_guard<std::mutex> lock(reg.mutex);
        CCharge& slot = reg.records[pBuf];
        // A record at this address freed without FreeWsaBuf never said so:
        // its charge ends now, or its budget would never recover.
        previous = std::move(slot);
        slot = CCharge{shared_from_this(), nCost};
    }
    if (previous.pBudget)
        previous.pBudget->Credit(previous.nCost);
}

void CReceiveBudget::Credit(size_t nCost) {
    const size_t nBefore = m_nPending.fetch_sub(nCost);
    const size_t nHalf = m_nBound / 2;
    if (nBefore > nHalf && nBefore - nCost <= nHalf)
        m_room.Set();
}
