#include "WorkerSeams.h"

#include "WorkerStop.h"

int CWorkerSeams::MessageBox(const std::string& text, UINT nType) {
    if ((nType & MB_TYPEMASK) == MB_YESNO)
        return m_options.bYes && text == "Are you sure about flash page?" ? IDYES : IDNO;
    m_strLastMessage = text;
    return IDOK;
}

bool CWorkerSeams::OpenFile(const COpenFileRequest&, std::string* pPath) {
    *pPath = m_options.file;
    return true;
}

void CWorkerSeams::Sleep(DWORD dwMilliseconds) {
    if (dwMilliseconds == 0)
        IUserSeams::Sleep(0); // a yield
    else
        WorkerSleep(dwMilliseconds);
}

DWORD CWorkerSeams::WaitForAnswer(HEVENT hEvent, DWORD dwMilliseconds) {
    return WorkerWait(hEvent, dwMilliseconds);
}

bool CWorkerSeams::Stopped() {
    return IsWorkerStopped();
}
