// The phone simulator (tools/phone-sim, whose path CTest gives in PHONE_SIM)
// as a helper process of a test.
//
// Suites run in parallel and every simulator takes port 8739, so each suite
// keeps to a loopback block of its own: 127.0.0.20-62 the simulator's suite,
// 127.0.0.80-129 update, 127.0.0.131-157 orvex's input, 127.0.2 orvex's pipes, 127.0.3 net, 127.0.4 link,
// 127.0.5 the bench, 127.0.6 orvex end to end, 127.0.7 orvex's terminal,
// 127.0.8 --phones-from, 127.0.9 orvex's reports, 127.0.10 its canary and
// failure budget, 127.0.11 its dry run, 127.0.15 orvex's stops, 127.0.16 the
// Windows suite's simulators, 127.0.17 the Windows net, link and socket suites,
// 127.0.19 orvex.exe under Wine, 127.0.20 the installer test, 127.0.21 the
// Windows windowed test (ToolUiTest.sh).
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
