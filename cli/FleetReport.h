// How a fleet update is shown: live lines on a terminal, plain lines in a
// log, or JSON events for a script.
#pragma once

#include "PhoneRun.h"

#include <vector>

class IFleetReport {
public:
    virtual ~IFleetReport() = default;
    virtual void OnStart(const CPhoneRun& run) = 0;
    virtual void OnProgress(const CPhoneRun& run) = 0;
    // An attempt failed and the phone runs again from the start.
    virtual void OnRetry(const CPhoneRun& run) = 0;
    virtual void OnDone(const CPhoneRun& run) = 0;
    // About ten times a second while workers run.
    virtual void OnTick(const std::vector<CPhoneRun>& runs) { (void)runs; }
    virtual void OnSummary(const std::vector<CPhoneRun>& runs, double dSeconds) = 0;
};
