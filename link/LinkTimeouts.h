// How long the link and the firmware procedures wait, in ms. The defaults
// are the phone's; orvex fills them in from its command line, and every wait
// still goes through ScaleTimeout (tests shorten the windowed tool's waits).
#pragma once

#include "WinTypes.h"

struct CLinkTimeouts {
    DWORD dwConnect = 2000;   // for the phone's connection
    DWORD dwAck = 10000;      // for each block's answer, and the finishing byte's
    DWORD dwCheckPause = 500; // before the post-update check dials
    DWORD dwCheck = 4000;     // for a connection in the post-update check
    DWORD dwErase = 5000;     // per flash-page sector, the link closed
};
