#include "UpdateWorker.h"

#include "FirmwareUpdate.h"
#include "Ipv4Text.h"
#include "LinkEvents.h"
#include "Profile.h"
#include "Trace.h"
#include "WinSock.h"
#include "WorkerProgress.h"
#include "WorkerSeams.h"
#include "WorkerStop.h"

#include <cstdio>
#include <string>

namespace {

const char* OutcomeName(EUpdateOutcome outcome) {
    switch (outcome) {
    case EUpdateOutcome::Cancelled:
        return "cancelled";
    case EUpdateOutcome::Updating:
        return "updating";
    case EUpdateOutcome::InvalidMethod:
        return "invalid-method";
    case EUpdateOutcome::Written:
        return "written";
    case EUpdateOutcome::Failed:
        break;
    }
    return "failed";
}

// A phone stopped after it acknowledged the finishing byte is installing
// what it got: whoever reads this must not power it off.
std::string InterruptedText(bool bFlashPage, bool bFinished) {
    if (!bFinished)
        return "interrupted";
    // What matters first, should a narrow table cut the rest.
    return bFlashPage ? "finishing byte acknowledged: writing flash page, do not power it off"
                      : "finishing byte acknowledged: updating, do not power it off";
}

} // namespace

int RunUpdateWorker(const CWorkerOptions& options) {
    InstallWorkerStop(options.nStopEvent);
    CWorkerOutput output(stdout);
    DWORD dwPhone = 0;
    if (!ParseIpv4(options.phone, &dwPhone)) {
        output.Done("failed", "not an IPv4 address", 0, false);
        return 1;
    }
    SetTraceSink([](const std::string&) {});
    if (!WinSock2Init()) {
        output.Done("failed", "Winsock 2.0 failed", 0, false);
        return 1;
    }
    CreateLinkEvents();

    // The link reads the phone's address from the profile (orvex's own, in
    // memory) when it connects.
    WriteProfileInt("Peer", "IPAddress", static_cast<int>(dwPhone));
    CWorkerSeams seams(options);
    SetUserSeams(&seams);
    CWorkerProgress progress(output);

    CRj45Thread* pRj45Thread = nullptr;
    DWORD dwRj45ThreadId = 0;
    CFirmwareUpdate update(progress, pRj45Thread, dwRj45ThreadId);
    update.m_timeouts = options.timeouts;
    bool bFinished = false;
    update.m_fnFinishingByteAcknowledged = [&] {
        bFinished = true;
        // A program image's post-update check follows; a flash page's erase
        // wait says so itself.
        if (!options.bFlashPage)
            output.State("checking");
    };
    output.State("connecting");
    const EUpdateOutcome outcome =
        options.bFlashPage ? update.UpdatePFlash() : update.UpdateProgram();

    progress.Flush();
    const long long nBytes = progress.BytesSent();
    if (IsWorkerStopped())
        output.Done("interrupted", InterruptedText(options.bFlashPage, bFinished), nBytes,
                    bFinished);
    else if (!seams.LastMessage().empty())
        output.Done(OutcomeName(outcome), seams.LastMessage(), nBytes, bFinished);
    else // a flash page ends without a message, its erase wait over
        output.Done(OutcomeName(outcome), progress.StatusText(), nBytes, bFinished);

    SetUserSeams(nullptr);
    CloseLinkEvents();
    WinSock2Free();
    return 0;
}
