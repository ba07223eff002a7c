// One phone of a fleet update as the parent sees it: what its worker last
// reported and how it ended.
#pragma once

#include "WinTypes.h"

#include <chrono>
#include <string>

struct CPhoneRun {
    enum EStage { Waiting, Running, Finished };
    using Clock = std::chrono::steady_clock;

    DWORD dwAddress = 0;
    std::string address;
    EStage stage = Waiting;
    int nAttempt = 0;     // 1 for the first run
    std::string state;    // "connecting", "sending", "checking" ...
    long long nBytes = 0; // acknowledged bytes of this attempt
    long long nTotal = 0; // bytes this attempt sends
    std::string outcome;  // "updating", "written", "failed", "interrupted" ...
    std::string text;     // what the procedure told the user
    bool bSucceeded = false;
    bool bFinished = false;    // the phone acknowledged the finishing byte: it installs
    double dSendSeconds = 0;   // since the first block went out, as the worker saw it
    Clock::time_point started; // of this attempt
    double dSeconds = 0;       // of the last attempt, once finished
    // The phone's type-and-version text as discovery heard it before the
    // update and after it came back; empty when nobody asked or it did not
    // answer.
    std::string versionBefore;
    std::string versionAfter;

    double BlocksPerSecond() const;
};

// A program image is under way when the phone stops taking connections; a
// flash page once its erase wait is over.
// With --confirm, success is a phone that came back.
bool IsSuccessOutcome(const std::string& outcome);
// A failure not run again: the run was stopped, or the phone began its update
// and is installing whatever came of it.
bool IsFinalFailure(const std::string& outcome);
