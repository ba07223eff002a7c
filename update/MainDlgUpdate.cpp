// The firmware commands of the main dialog: the stop-and-wait block upload,
// Update Program with its post-update check, and Update PFlash.
#include "MainDlg.h"

#include "ConfirmFlashPageFile.h"
#include "Event.h"
#include "GetFlashPageSectors.h"
#include "LinkEvents.h"
#include "LoadHexImage.h"
#include "MessageQueue.h"
#include "Profile.h"
#include "Rj45Thread.h"
#include "Seams.h"

#include <QApplication>
#include <QCursor>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <sys/stat.h>

namespace {

constexpr int kBlockSize = 128;
// Uploads are sent in whole multiples of this, the tail padded with 0xFF.
constexpr int64_t kUploadUnit = 256;
constexpr DWORD kNoFinishingCode = 0xFFFFFFFF;
constexpr DWORD kProgramFinishingCode = 0x81;
constexpr DWORD kFlashPageFinishingCode = 0x00;

constexpr DWORD kAckTimeoutMs = 10000;
constexpr DWORD kCheckPauseMs = 500;
constexpr DWORD kCheckTimeoutMs = 4000;
constexpr DWORD kEraseWaitMs = 5000;

int64_t RoundedLength(int64_t nLength) {
    return (nLength + kUploadUnit - 1) / kUploadUnit * kUploadUnit;
}

// A wait is lost only by time-out; a failed wait lets the upload go on.
bool AckTimedOut(DWORD dwMilliseconds) {
    return WaitForSingleObject(g_hLinkAckEvent, ScaleTimeout(dwMilliseconds)) == WAIT_TIMEOUT;
}

std::string Format(const char* pszFormat, int n) {
    char sz[64];
    snprintf(sz, sizeof sz, pszFormat, n);
    return sz;
}

void SetBusyCursor(bool bBusy) {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr)
        return;
    if (bBusy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
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
    // The rounded length is a signed 32-bit count.
    if (nLength < 0 || RoundedLength(nLength) > INT_MAX) {
        AfxMessageBox("Can not malloc memory");
        return nullptr;
    }
    const size_t nRounded = static_cast<size_t>(RoundedLength(nLength));
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

BOOL CMainDlg::UploadBlocks(const BYTE* pData, int nLength, DWORD dwCode) {
    if (!StartLink(true))
        return FALSE;
    const int nRounded = static_cast<int>(RoundedLength(nLength));

    m_ProgressDlg.Create(nullptr);
    m_ProgressDlg.SetStep(kBlockSize);
    m_ProgressDlg.SetRange(0, nRounded);
    for (int nOffset = 0; nOffset < nRounded; nOffset += kBlockSize) {
        m_ProgressDlg.SetStatusText(Format("Loading data %d", nOffset));
        // The worker copies the block when it handles the message; the
        // buffer stays untouched until the ack or StopLink.
        PostThreadMessage(m_dwRj45ThreadId, WM_LINK_SEND, kBlockSize,
                          reinterpret_cast<LPARAM>(pData + nOffset));
        if (AckTimedOut(kAckTimeoutMs)) {
            AfxMessageBox("tcp connection failed");
            m_ProgressDlg.DestroyWindow();
            StopLink();
            return FALSE;
        }
        m_ProgressDlg.StepIt();
    }
    m_ProgressDlg.DestroyWindow();

    if (dwCode != kNoFinishingCode) {
        PostThreadMessage(m_dwRj45ThreadId, WM_LINK_SEND_BYTE, dwCode, 0);
        if (AckTimedOut(kAckTimeoutMs)) {
            AfxMessageBox("tcp connection failed");
            StopLink();
            return FALSE;
        }
    }
    StopLink();
    return TRUE;
}

void CMainDlg::OnUpdateProgram() {
    COpenFileRequest request;
    request.initialName = GetProfileString("ProgramUpdate", "SrcName", "demo.bin");
    request.defaultExt = "*.bin";
    request.filter = "Binary files (*.bin)|*.bin|All files (*.*)|*.*||";
    request.flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    std::string path;
    if (!ShowOpenFileDialog(request, &path))
        return;
    WriteProfileString("ProgramUpdate", "SrcName", path.c_str());
    SaveProfile();
    if (!CheckTcpConnection())
        return;

    int nLength = 0;
    std::unique_ptr<BYTE[]> pImage = ReadProgramImage(path, &nLength);
    if (!pImage)
        return;
    if (!UploadBlocks(pImage.get(), nLength, kProgramFinishingCode))
        return;

    // A phone that has begun its update takes no connection for a while.
    Sleep(kCheckPauseMs);
    // A worker of its own, as StartLink makes but without its port, wait and
    // message: a connect within the wait means the phone is not updating.
    m_pRj45Thread = CRj45Thread::Start(&m_dwRj45ThreadId);
    if (AckTimedOut(kCheckTimeoutMs))
        AfxMessageBox("Updating ... please wait until the update led stop on and off",
                      MB_OK | MB_ICONINFORMATION);
    else
        AfxMessageBox("Invalid update method");
    StopLink();
}

void CMainDlg::OnUpdatePFlash() {
    COpenFileRequest request;
    request.initialName = GetProfileString("PFlashUpdate", "SrcName", "demo.hex");
    request.defaultExt = "*.hex";
    request.filter = "MCS51 hex files (*.hex)|*.hex|All files (*.*)|*.*||";
    request.flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    std::string path;
    if (!ShowOpenFileDialog(request, &path))
        return;
    WriteProfileString("PFlashUpdate", "SrcName", path.c_str());
    SaveProfile();
    if (!ConfirmFlashPageFile(path))
        return;

    std::unique_ptr<BYTE[]> pImage(new (std::nothrow) BYTE[kFlashPageSize]);
    if (!pImage) {
        AfxMessageBox("Can not malloc memory");
        return;
    }
    memset(pImage.get(), 0xFF, kFlashPageSize);
    const int nLength = LoadHexImage(path, pImage.get(), SetBusyCursor);
    if (nLength > 0)
        WriteFlashPage(pImage.get(), nLength);
    else
        AfxMessageBox("Error Hex file to upgrade Quill1");
}

void CMainDlg::WriteFlashPage(const BYTE* pImage, int nLength) {
    if (!UploadBlocks(pImage, nLength, kFlashPageFinishingCode))
        return;
    int nFirst = 0;
    int nEnd = 0;
    GetFlashPageSectors(nFirst, nEnd);

    m_ProgressDlg.Create(nullptr);
    m_ProgressDlg.SetStep(1);
    m_ProgressDlg.SetRange(nFirst, nEnd);
    // The link is closed: the phone is left alone to erase and write.
    for (int nSector = nEnd - 1; nSector >= nFirst; --nSector) {
        m_ProgressDlg.SetStatusText(Format("Erase sector %d", nSector));
        m_ProgressDlg.StepIt();
        Sleep(kEraseWaitMs);
    }
    m_ProgressDlg.DestroyWindow();
}
