// What one worker is asked to do: one procedure, one file, one phone.
#pragma once

#include "WinTypes.h"

#include <string>

struct CWorkerOptions {
    bool bFlashPage = false;
    std::string file;
    std::string phone; // dotted IPv4
    DWORD dwConnectTimeout = 2000;
    DWORD dwAckTimeout = 10000;
    DWORD dwCheckTimeout = 4000;
    bool bYes = false; // the flash-page question has been answered Yes
};
