// Which waiting phone of a fleet update may start: --canary N updates the
// first N phones alone and the rest only once all N have succeeded;
// --max-failures K starts no new phone once K phones have failed. A phone
// that the plan will never start is reported "skipped" with the reason.
#pragma once

#include "PhoneRun.h"

#include <string>

class CFleetPlan {
public:
    enum EVerdict { Start, Wait, Skip };

    // nCanary and nMaxFailures 0: no waves, no budget.
    CFleetPlan(size_t nPhones, size_t nCanary, size_t nMaxFailures);

    // For the phone at nPhone in the run's order, on its attempt nAttempt
    // (0 before its first). A phone already under way runs its retries.
    EVerdict Verdict(size_t nPhone, int nAttempt) const;
    // Why a phone is skipped, once Verdict says so.
    std::string SkipText() const;

    // Each phone once, when it has ended for good (not for a retry).
    void OnFinished(size_t nPhone, const CPhoneRun& run);
    // True once after a phone's end that may have barred the waiting ones.
    bool TakeBarChange();

private:
    size_t m_nCanary;
    size_t m_nMaxFailures;
    size_t m_nCanaryDone = 0;
    size_t m_nFailed = 0;
    std::string m_failedCanary; // the first canary that did not succeed
    bool m_bBarChanged = false;
};
