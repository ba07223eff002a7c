// What one worker is asked to do: one procedure, one file, one phone.
#pragma once

#include "LinkTimeouts.h"
#include "WinTypes.h"

#include <string>

struct CWorkerOptions {
    bool bFlashPage = false;
    std::string file;
    std::string phone;      // dotted IPv4
    CLinkTimeouts timeouts; // connect, ack and check from the command line
    bool bYes = false;      // the flash-page question has been answered Yes
};
