#include "FirmwareUpdate.h"

#include "ConfirmFlashPageFile.h"
#include "Event.h"
#include "GetFlashPageSectors.h"
#include "LinkEvents.h"
#include "LoadHexImage.h"
#include "MessageQueue.h"
#include "Profile.h"
#include "Rj45Link.h"
#include "Rj45Thread.h"
#include "Seams.h"
#include "UploadSize.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <sys/stat.h>

namespace {

constexpr int kBlockSize = 128;
constexpr DWORD kNoFinishingCode = 0xFFFFFFFF;
constexpr DWORD kProgramFinishingCode = 0x81;
constexpr DWORD kFlashPageFinishingCode = 0x00;

// A wait is lost only by time-out (or a stop); a failed wait lets the
// upload go on.
bool AckTimedOut(DWORD dwMilliseconds) {
    return WaitForLinkAnswer(g_hLinkAckEvent, dwMilliseconds) == WAIT_TIMEOUT;
}

std::string Format(const char* pszFormat, int n) {
    char sz[64];
    snprintf(sz, sizeof sz, pszFormat, n);
    return sz;
}

struct CFileCloser {
    void operator()(FILE* pFile) const { fclose(pFile); }
};
using CFilePtr = std::unique_ptr<FILE, CFileCloser>;

// The whole program file in a buffer of its rounded length, the tail 0xFF.
// Shows the failure and gives null when the file cannot be had whole.
std::unique_ptr<BYTE[]> ReadProgramImage(const std::string& path, int* pnLength) {
    CFilePtr pFile(fopen(path.c_str(), "rb"));
    struct stat st;
    if (!pFile || fstat(fileno(pFile.get()), &st) != 0 || S_ISDIR(st.st_mode)) {
        AfxMessageBox("Can not open source file");
        return nullptr;
    }
    const int64_t nLength = st.st_size;
    if (nLength < 0 || nLength > kMaxUploadLength) {
        AfxMessageBox("Can not malloc memory");
        return nullptr;
    }
    const size_t nRounded = static_cast<size_t>(RoundedUploadLength(nLength));
    std::unique_ptr<BYTE[]> pBuffer(new (std::nothrow) BYTE[nRounded == 0 ? 1 : nRounded]);
    if (!pBuffer) {
        AfxMessageBox("Can not malloc memory");
        return nullptr;
    }
    // Never send bytes that were not read from the file.
    if (fread(pBuffer.get(), 1, static_cast<size_t>(nLength), pFile.get()) !=
        static_cast<size_t>(nLength)) {
        AfxMessageBox("Can not open source file");
        return nullptr;
    }
    memset(pBuffer.get() + nLength, 0xFF, nRounded - static_cast<size_t>(nLength));
    *pnLength = static_cast<int>(nLength);
    return pBuffer;
}

} // namespace

CFirmwareUpdate::CFirmwareUpdate(IProgress& progress, CRj45Thread*& pRj45Thread,
                                 DWORD& dwRj45ThreadId)
    : m_progress(progress), m_pRj45Thread(pRj45Thread), m_dwRj45ThreadId(dwRj45ThreadId) {}

void CFirmwareUpdate::SaveProfile() {
    if (m_fnSaveProfile)
        m_fnSaveProfile();
}

void CFirmwareUpdate::StopLink() {
    StopRj45Link(m_pRj45Thread, m_dwRj45ThreadId);
}

bool CFirmwareUpdate::Exchange(UINT nMessage, WPARAM wParam, LPARAM lParam) {
    // Only the answer to this message may end its wait: a stray second ack
    // of the last one must not stand for it.
    ResetEvent(g_hLinkAckEvent);
    // Nothing goes out after a stop, not even the finishing byte.
    if (IsRunStopped())
        return false;
    PostThreadMessage(m_dwRj45ThreadId, nMessage, wParam, lParam);
    return !AckTimedOut(m_timeouts.dwAck);
}

BOOL CFirmwareUpdate::UploadBlocks(const BYTE* pData, int nLength, DWORD dwCode) {
    if (!StartRj45Link(m_pRj45Thread, m_dwRj45ThreadId, true, m_timeouts.dwConnect))
        return FALSE;
    const int nRounded = static_cast<int>(RoundedUploadLength(nLength));

    m_progress.Create();
    m_progress.SetStep(kBlockSize);
    m_progress.SetRange(0, nRounded);
    for (int nOffset = 0; nOffset < nRounded; nOffset += kBlockSize) {
        m_progress.SetStatusText(Format("Loading data %d", nOffset));
        // The worker copies the block when it handles the message; the
        // buffer stays untouched until the ack or StopLink.
        if (!Exchange(WM_LINK_SEND, kBlockSize, reinterpret_cast<LPARAM>(pData + nOffset))) {
            AfxMessageBox("tcp connection failed");
            m_progress.DestroyWindow();
            StopLink();
            return FALSE;
        }
        m_progress.StepIt();
    }
    m_progress.DestroyWindow();

    if (dwCode != kNoFinishingCode) {
        if (!Exchange(WM_LINK_SEND_BYTE, dwCode, 0)) {
            AfxMessageBox("tcp connection failed");
            StopLink();
            return FALSE;
        }
        if (m_fnFinishingByteAcknowledged)
            m_fnFinishingByteAcknowledged();
    }
    StopLink();
    return TRUE;
}

bool CFirmwareUpdate::ChooseFile(const char* pszSection, const char* pszDefault, const char* pszExt,
                                 const char* pszFilter, std::string* pPath) {
    COpenFileRequest request;
    request.initialName = GetProfileString(pszSection, "SrcName", pszDefault);
    request.defaultExt = pszExt;
    request.filter = pszFilter;
    request.flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    if (!ShowOpenFileDialog(request, pPath))
        return false;
    WriteProfileString(pszSection, "SrcName", pPath->c_str());
    SaveProfile();
    return true;
}

EUpdateOutcome CFirmwareUpdate::UpdateProgram() {
    std::string path;
    if (!ChooseFile("ProgramUpdate", "demo.bin", "*.bin",
                    "Binary files (*.bin)|*.bin|All files (*.*)|*.*||", &path))
        return EUpdateOutcome::Cancelled;
    if (!CheckTcpConnection(m_nCommType))
        return EUpdateOutcome::Failed;

    int nLength = 0;
    std::unique_ptr<BYTE[]> pImage = ReadProgramImage(path, &nLength);
    if (!pImage)
        return EUpdateOutcome::Failed;
    if (!UploadBlocks(pImage.get(), nLength, kProgramFinishingCode))
        return EUpdateOutcome::Failed;

    // A phone that has begun its update takes no connection for a while.
    Sleep(m_timeouts.dwCheckPause);
    // A stopped run dials no more: it cannot tell what the check would have.
    if (IsRunStopped())
        return EUpdateOutcome::Failed;
    // A worker of its own, as StartLink makes but without its port, wait and
    // message: a connect within the wait means the phone is not updating.
    // Only that connect may answer the check.
    ResetEvent(g_hLinkAckEvent);
    m_pRj45Thread = CRj45Thread::Start(&m_dwRj45ThreadId);
    if (m_pRj45Thread == nullptr) {
        // No check ran, so nothing says the phone is updating.
        AfxMessageBox("Can not connect to Quill1", MB_OK);
        return EUpdateOutcome::Failed;
    }
    EUpdateOutcome outcome;
    if (AckTimedOut(m_timeouts.dwCheck)) {
        AfxMessageBox("Updating ... please wait until the update led stop on and off",
                      MB_OK | MB_ICONINFORMATION);
        outcome = EUpdateOutcome::Updating;
    } else {
        AfxMessageBox("Invalid update method");
        outcome = EUpdateOutcome::InvalidMethod;
    }
    StopLink();
    return outcome;
}

EUpdateOutcome CFirmwareUpdate::UpdatePFlash() {
    std::string path;
    if (!ChooseFile("PFlashUpdate", "demo.hex", "*.hex",
                    "MCS51 hex files (*.hex)|*.hex|All files (*.*)|*.*||", &path))
        return EUpdateOutcome::Cancelled;
    if (!ConfirmFlashPageFile(path))
        return EUpdateOutcome::Cancelled;

    std::unique_ptr<BYTE[]> pImage(new (std::nothrow) BYTE[kFlashPageSize]);
    if (!pImage) {
        AfxMessageBox("Can not malloc memory");
        return EUpdateOutcome::Failed;
    }
    memset(pImage.get(), 0xFF, kFlashPageSize);
    const int nLength = LoadHexImage(path, pImage.get(), m_fnBusyCursor);
    if (nLength <= 0) {
        AfxMessageBox("Error Hex file to upgrade Quill1");
        return EUpdateOutcome::Failed;
    }
    return WriteFlashPage(pImage.get(), nLength) ? EUpdateOutcome::Written : EUpdateOutcome::Failed;
}

BOOL CFirmwareUpdate::WriteFlashPage(const BYTE* pImage, int nLength) {
    if (!UploadBlocks(pImage, nLength, kFlashPageFinishingCode))
        return FALSE;
    int nFirst = 0;
    int nEnd = 0;
    GetFlashPageSectors(nFirst, nEnd);

    m_progress.Create();
    m_progress.SetStep(1);
    m_progress.SetRange(nFirst, nEnd);
    // The link is closed: the phone is left alone to erase and write.
    for (int nSector = nEnd - 1; nSector >= nFirst; --nSector) {
        m_progress.SetStatusText(Format("Erase sector %d", nSector));
        m_progress.StepIt();
        Sleep(m_timeouts.dwErase);
    }
    m_progress.DestroyWindow();
    return TRUE;
}
