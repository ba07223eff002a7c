// The link worker: a thread with its own message loop that owns the hidden
// socket window, driven by the thread messages below. It deletes itself when
// its loop ends and then signals g_hLinkDoneEvent as its last act.
#pragma once

#include "Rj45SocketWnd.h"
#include "WorkerThread.h"

constexpr UINT WM_LINK_STOP = WM_USER + 257; // 0, 0
constexpr UINT WM_LINK_SEND =
    WM_USER + 258; // byte count (1..1536), pointer kept valid by the poster
constexpr UINT WM_LINK_SEND_BYTE = WM_USER + 259; // the byte in the low 8 bits, 0
constexpr UINT WM_LINK_READ_MODE = WM_USER + 260; // room in bytes (0: off), destination buffer

class CRj45Thread : public CWorkerThread {
public:
    CRj45Thread();
    ~CRj45Thread() override;

    // Creates a worker and starts its thread; its id goes to *pdwThreadId.
    // Null when no thread could be started (nothing is left behind). The
    // caller never touches the object afterwards: it deletes itself.
    static CRj45Thread* Start(DWORD* pdwThreadId);

    CRj45SocketWnd m_wndSocket;

protected:
    BOOL InitInstance() override;
    int ExitInstance() override;
    bool OnThreadMessage(const MSG& msg) override;
};
