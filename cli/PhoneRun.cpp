#include "PhoneRun.h"

namespace {
constexpr double kBlockSize = 128;
}

double CPhoneRun::BlocksPerSecond(Clock::time_point now) const {
    const double dSeconds = std::chrono::duration<double>(now - sending).count();
    if (nBytes <= 0 || dSeconds <= 0)
        return 0;
    return static_cast<double>(nBytes) / kBlockSize / dSeconds;
}

bool IsSuccessOutcome(const std::string& outcome) {
    return outcome == "updating" || outcome == "written";
}
