#include "WorkerSeams.h"

#include "InputImage.h"
#include "WorkerStop.h"

namespace {
// The specified waits, as the procedures ask for them.
constexpr DWORD kConnectTimeout = 2000;
constexpr DWORD kAckTimeout = 10000;
constexpr DWORD kCheckTimeout = 4000;
} // namespace

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

DWORD CWorkerSeams::Timeout(DWORD dwMilliseconds) {
    if (dwMilliseconds == kCheckTimeout)
        m_output.State("checking");
    if (IsWorkerStopped())
        return 0;
    switch (dwMilliseconds) {
    case kConnectTimeout:
        return m_options.dwConnectTimeout;
    case kAckTimeout:
        return m_options.dwAckTimeout;
    case kCheckTimeout:
        return m_options.dwCheckTimeout;
    default:
        return dwMilliseconds;
    }
}

void CWorkerSeams::Sleep(DWORD dwMilliseconds) {
    if (dwMilliseconds == 0)
        IUserSeams::Sleep(0); // a yield
    else
        WorkerSleep(dwMilliseconds);
}
