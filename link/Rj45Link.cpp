#include "Rj45Link.h"

#include "LinkEvents.h"
#include "Profile.h"
#include "Rj45Thread.h"
#include "Seams.h"

namespace {
constexpr int kPrimaryPort = 8739;
constexpr int kAlternativePort = 8740;
} // namespace

BOOL StartRj45Link(CRj45Thread*& pThread, DWORD& dwThreadId, bool bPrimaryPort,
                   DWORD dwConnectTimeout) {
    if (pThread != nullptr)
        return FALSE;
    WriteProfileInt("Peer", "Port", bPrimaryPort ? kPrimaryPort : kAlternativePort);
    // A connect that completed after an earlier link gave up must not stand
    // for this one.
    ResetEvent(g_hLinkAckEvent);
    pThread = CRj45Thread::Start(&dwThreadId);
    if (pThread == nullptr) {
        // No worker ran, so there is neither a connect to wait for nor one to stop.
        AfxMessageBox("Can not connect to Quill1", MB_OK);
        return FALSE;
    }
    if (WaitForLinkAnswer(g_hLinkAckEvent, dwConnectTimeout) == WAIT_TIMEOUT) {
        AfxMessageBox("Can not connect to Quill1", MB_OK);
        StopRj45Link(pThread, dwThreadId);
        return FALSE;
    }
    return TRUE;
}

void StopRj45Link(CRj45Thread*& pThread, DWORD& dwThreadId) {
    if (pThread == nullptr)
        return;
    // Fails when the worker has already ended; its done signal then waits.
    PostThreadMessage(dwThreadId, WM_LINK_STOP, 0, 0);
    WaitForSingleObject(g_hLinkDoneEvent, INFINITE);
    pThread = nullptr;
    dwThreadId = 0;
}

BOOL CheckTcpConnection(int nCommType) {
    if (nCommType == 1)
        return TRUE;
    AfxMessageBox("Only Tcpip connection can be used for this function", MB_OK);
    return FALSE;
}
