// What one worker is asked to do: one procedure, one image, one phone.
#pragma once

#include "LinkTimeouts.h"
#include "WinTypes.h"

#include <string>

struct CWorkerOptions {
    bool bFlashPage = false;
    int fdImage = -1;       // the image as orvex read it, handed over open
    std::string phone;      // dotted IPv4
    CLinkTimeouts timeouts; // connect, ack and check from the command line
    bool bYes = false;      // the flash-page question has been answered Yes
    int nStopEvent = -1;    // Windows: the inherited event by which orvex stops it
};
