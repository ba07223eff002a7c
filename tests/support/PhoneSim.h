// The phone simulator (tools/phone-sim, whose path CTest gives in PHONE_SIM)
// as a helper process of a test.
#pragma once

#include "ChildProcess.h"

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

// Null when PHONE_SIM is not set or the process cannot be started.
inline std::unique_ptr<CChildProcess> StartPhoneSim(std::vector<std::string> args) {
    const char* pszPath = std::getenv("PHONE_SIM");
    if (pszPath == nullptr)
        return nullptr;
    args.insert(args.begin(), pszPath);
    return CChildProcess::Start(args);
}

// On address (port 8739 unless the options say otherwise), once its ready
// line names the address; null when it does not come up.
inline std::unique_ptr<CChildProcess> StartPhoneSimOn(const std::string& address,
                                                      std::vector<std::string> options) {
    options.insert(options.begin(), {"--address", address});
    auto pSim = StartPhoneSim(options);
    if (pSim && !pSim->WaitForOutput(" on " + address + ":", 10000))
        pSim.reset();
    return pSim;
}
