#include "PhoneRun.h"

namespace {
constexpr double kBlockSize = 128;
}

double CPhoneRun::BlocksPerSecond() const {
    if (nBytes <= 0 || dSendSeconds <= 0)
        return 0;
    return static_cast<double>(nBytes) / kBlockSize / dSendSeconds;
}

bool IsSuccessOutcome(const std::string& outcome) {
    return outcome == "updating" || outcome == "written" || outcome == "confirmed";
}

bool IsFinalFailure(const std::string& outcome) {
    return outcome == "interrupted" || outcome == "not-back" || outcome == "wrong-version";
}
