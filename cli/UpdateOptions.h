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
    // The waits each worker hands its procedure.
    DWORD dwConnectTimeout = CLinkTimeouts().dwConnect;
    DWORD dwAckTimeout = CLinkTimeouts().dwAck;
    DWORD dwCheckTimeout = CLinkTimeouts().dwCheck;
    bool bJson = false;
    bool bYes = false; // the flash-page question is answered Yes
};

constexpr int kMaxJobs = 64;
