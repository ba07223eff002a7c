// What update-program and update-pflash were asked to do.
#pragma once

#include "LinkTimeouts.h"
#include "WinTypes.h"

#include <string>
#include <vector>

struct CUpdateOptions {
    bool bFlashPage = false; // update-pflash, else update-program
    std::string file;
    int fdImage = -1;                // the file as read once, handed to every worker
    std::vector<std::string> phones; // --phone, as typed
    std::string phonesFrom;          // --phones-from, "-" for standard input
    int nJobs = 0;                   // 0: every phone at once, up to kMaxJobs
    int nRetries = 0;
    int nCanary = 0;      // --canary: the first N phones alone, the rest once all succeeded
    int nMaxFailures = 0; // --max-failures: no new phone once this many failed; 0 no limit
    // The waits each worker hands its procedure.
    DWORD dwConnectTimeout = CLinkTimeouts().dwConnect;
    DWORD dwAckTimeout = CLinkTimeouts().dwAck;
    DWORD dwCheckTimeout = CLinkTimeouts().dwCheck;
    bool bJson = false;
    bool bConfirm = false;        // --confirm: watch each updating phone come back
    double dConfirmTimeout = 300; // seconds
    std::string expectVersion;    // --expect-version GLOB
    double dProbeInterval = 5;    // seconds between the watch's probes
    bool bSkipBusy = false;       // --skip-busy: a phone in a call waits
    double dBusyTimeout = 600;    // seconds a phone may stay busy
    std::string report;           // --report: a row per phone at the end, CSV or JSON by its name
    bool bOnlyFailed = false;     // --phones-from is a report: the phones whose "ok" is false
    bool bDryRun = false;         // --dry-run: checks and tells, connects to no phone
    bool bYes = false;            // the flash-page question is answered Yes
};

constexpr int kMaxJobs = 64;
