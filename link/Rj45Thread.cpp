#include "Rj45Thread.h"

#include "LinkEvents.h"

CRj45Thread::CRj45Thread() {
    m_hSignalAfterDelete = g_hLinkDoneEvent;
}

CRj45Thread::~CRj45Thread() = default;

CRj45Thread* CRj45Thread::Start(DWORD* pdwThreadId) {
    auto* pThread = new CRj45Thread;
    // The id comes back through the call: a worker whose window cannot be
    // created has deleted itself before we could read it from the object.
    if (!pThread->CreateThread(pdwThreadId)) {
        delete pThread;
        return nullptr;
    }
    return pThread;
}

BOOL CRj45Thread::InitInstance() {
    if (!m_wndSocket.Create())
        return FALSE;
    m_pMainWnd = &m_wndSocket;
    return TRUE;
}

int CRj45Thread::ExitInstance() {
    return CWorkerThread::ExitInstance();
}

bool CRj45Thread::OnThreadMessage(const MSG& msg) {
    switch (msg.message) {
    case WM_LINK_STOP:
        // WM_DESTROY hangs the socket up; the main window's end ends the loop.
        m_wndSocket.DestroyWindow();
        return true;
    case WM_LINK_SEND:
        m_wndSocket.m_socket.Write(reinterpret_cast<const void*>(msg.lParam),
                                   static_cast<DWORD>(msg.wParam));
        return true;
    case WM_LINK_SEND_BYTE: {
        const BYTE byte = static_cast<BYTE>(msg.wParam & 0xFF);
        m_wndSocket.m_socket.Write(&byte, 1);
        return true;
    }
    case WM_LINK_READ_MODE:
        m_wndSocket.SetReadMode(static_cast<DWORD>(msg.wParam),
                                reinterpret_cast<BYTE*>(msg.lParam));
        return true;
    default:
        return CWorkerThread::OnThreadMessage(msg);
    }
}
