// What update-program and update-pflash were asked to do.
#pragma once

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
    // The specified waits, mapped by the workers' seams.
    DWORD dwConnectTimeout = 2000;
    DWORD dwAckTimeout = 10000;
    DWORD dwCheckTimeout = 4000;
    bool bJson = false;
    bool bYes = false; // the flash-page question is answered Yes
};

constexpr int kMaxJobs = 64;
