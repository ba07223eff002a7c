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

} // namespace

int RunUpdateWorker(const CWorkerOptions& options) {
    InstallWorkerStop();
    CWorkerOutput output(stdout);
    DWORD dwPhone = 0;
    if (!ParseIpv4(options.phone, &dwPhone)) {
        output.Done("failed", "not an IPv4 address", 0);
        return 1;
    }
    SetTraceSink([](const std::string&) {});
    if (!WinSock2Init()) {
        output.Done("failed", "Winsock 2.0 failed", 0);
        return 1;
    }
    CreateLinkEvents();

    // The link reads the phone's address from the profile (orvex's own, in
    // memory) when it connects.
    WriteProfileInt("Peer", "IPAddress", static_cast<int>(dwPhone));
    CWorkerSeams seams(options, output);
    SetUserSeams(&seams);
    CWorkerProgress progress(output);

    CRj45Thread* pRj45Thread = nullptr;
    DWORD dwRj45ThreadId = 0;
    CFirmwareUpdate update(progress, pRj45Thread, dwRj45ThreadId);
    output.State("connecting");
    const EUpdateOutcome outcome =
        options.bFlashPage ? update.UpdatePFlash() : update.UpdateProgram();

    progress.Flush();
    if (IsWorkerStopped())
        output.Done("interrupted", "interrupted", progress.BytesSent());
    else if (!seams.LastMessage().empty())
        output.Done(OutcomeName(outcome), seams.LastMessage(), progress.BytesSent());
    else // a flash page ends without a message, its erase wait over
        output.Done(OutcomeName(outcome), progress.StatusText(), progress.BytesSent());

    SetUserSeams(nullptr);
    CloseLinkEvents();
    WinSock2Free();
    return 0;
}
