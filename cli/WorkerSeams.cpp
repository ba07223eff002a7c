#include "WorkerSeams.h"

#include "InputImage.h"
#include "WorkerStop.h"

int CWorkerSeams::MessageBox(const std::string& text, UINT nType) {
    if ((nType & MB_TYPEMASK) == MB_YESNO)
        return m_options.bYes && text == "Are you sure about flash page?" ? IDYES : IDNO;
    m_strLastMessage = text;
    return IDOK;
}

// The procedure opens the bytes orvex read, not the file they came from.
bool CWorkerSeams::OpenFile(const COpenFileRequest&, std::string* pPath) {
    *pPath = CInputImage::DescriptorPath(m_options.fdImage);
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
