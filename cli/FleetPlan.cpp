#include "FleetPlan.h"

#include <algorithm>

CFleetPlan::CFleetPlan(size_t nPhones, size_t nCanary, size_t nMaxFailures)
    : m_nCanary(std::min(nPhones, nCanary)), m_nMaxFailures(nMaxFailures) {}

CFleetPlan::EVerdict CFleetPlan::Verdict(size_t nPhone, int nAttempt) const {
    if (nAttempt > 0)
        return Start;
    if (m_nMaxFailures > 0 && m_nFailed >= m_nMaxFailures)
        return Skip;
    if (nPhone < m_nCanary)
        return Start;
    if (!m_failedCanary.empty())
        return Skip;
    return m_nCanaryDone < m_nCanary ? Wait : Start;
}

std::string CFleetPlan::SkipText() const {
    if (m_nMaxFailures > 0 && m_nFailed >= m_nMaxFailures)
        return "not started: " + std::to_string(m_nFailed) +
               (m_nFailed == 1 ? " phone" : " phones") + " failed (--max-failures " +
               std::to_string(m_nMaxFailures) + ")";
    return "not started: canary phone " + m_failedCanary + " did not succeed (--canary " +
           std::to_string(m_nCanary) + ")";
}

void CFleetPlan::OnFinished(size_t nPhone, const CPhoneRun& run) {
    // An interrupted phone says nothing about the firmware; the run is
    // ending anyway.
    if (run.outcome == "interrupted" || run.outcome == "skipped")
        return;
    // A phone left alone for its call has not failed, but a canary that
    // could not be tried proves nothing either.
    if (run.outcome == "skipped-busy") {
        if (nPhone < m_nCanary && m_failedCanary.empty()) {
            ++m_nCanaryDone;
            m_failedCanary = run.address;
            m_bBarChanged = true;
        }
        return;
    }
    if (run.bSucceeded) {
        m_nCanaryDone += nPhone < m_nCanary;
        return;
    }
    // Only the moment a bar falls sends the caller through its queue, so a
    // fleet of failures without a plan costs nothing more.
    if (nPhone < m_nCanary) {
        ++m_nCanaryDone;
        m_bBarChanged = m_bBarChanged || m_failedCanary.empty();
        if (m_failedCanary.empty())
            m_failedCanary = run.address;
    }
    ++m_nFailed;
    m_bBarChanged = m_bBarChanged || m_nFailed == m_nMaxFailures;
}

bool CFleetPlan::TakeBarChange() {
    const bool bChanged = m_bBarChanged;
    m_bBarChanged = false;
    return bChanged;
}
