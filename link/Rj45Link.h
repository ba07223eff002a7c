// The main dialog's link operations on the dialog's two link fields, kept
// apart from the dialog so the link can run without it.
#pragma once

#include "LinkTimeouts.h"
#include "WinTypes.h"

class CRj45Thread;

// Writes "Peer"/"Port", starts a worker and waits for its connect. False when
// a worker already runs (nothing written), when none can be started, or when
// no connect comes within dwConnectTimeout ("Can not connect to Quill1").
BOOL StartRj45Link(CRj45Thread*& pThread, DWORD& dwThreadId, bool bPrimaryPort,
                   DWORD dwConnectTimeout = CLinkTimeouts().dwConnect);
// Stops the worker, if one was started, and waits until it has gone.
void StopRj45Link(CRj45Thread*& pThread, DWORD& dwThreadId);

// True when the connection type is TCP/IP (1); otherwise says so
// ("Only Tcpip connection can be used for this function").
BOOL CheckTcpConnection(int nCommType);
