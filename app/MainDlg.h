// The main dialog: the phone's address, the three commands and Quit. It owns
// the profile, the progress window and the link worker of a running command.
#pragma once

#include "Dialog.h"
#include "IPAddressCtrl.h"
#include "ProgressDlg.h"

#include <string>

class CRj45Thread;

class CMainDlg : public CDialog {
public:
    explicit CMainDlg(CWnd* pParent = nullptr);
    ~CMainDlg() override;

    void SaveProfile();

    // Phone link (MainDlgLink.cpp).
    BOOL StartLink(bool bPrimaryPort);
    void StopLink();
    BOOL CheckTcpConnection();

    // Firmware commands (MainDlgUpdate.cpp): the procedures of update/ run
    // with this dialog's progress window and link.
    BOOL UploadBlocks(const BYTE* pData, int nLength, DWORD dwCode);
    void WriteFlashPage(const BYTE* pImage, int nLength);
    void OnUpdateProgram();
    void OnUpdatePFlash();

    // Discovery (MainDlgDiscovery.cpp).
    void OnListPhones();

    CIPAddressCtrl m_IPAddressCtrl;
    int m_nComPort = -1;
    int m_bSaveFile = 0;
    int m_bRealtime = 0;
    int m_bNoAcm = 0;
    int m_bRealtimeOut = 0;
    int m_nSaveLength = 0;
    int m_nCommType = -1;
    int m_bUseHighRate = 0;
    int m_bUseVAD = 0;
    int m_bIPOnly = 0;
    HICON m_hIcon = nullptr;
    CProgressDlg m_ProgressDlg;
    CRj45Thread* m_pRj45Thread = nullptr;
    std::string m_strComPort;
    DWORD m_dwPeerAddress = 0;
    // The worker's thread id, kept when it starts: the worker deletes itself,
    // so the dialog never reads the object after that.
    DWORD m_dwRj45ThreadId = 0;

protected:
    BOOL OnInitDialog() override;
    template <typename Fn> auto RunFirmwareUpdate(Fn fn);
    void DoDataExchange(CDataExchange* pDX) override;
    void OnCancel() override;
    void OnCommand(int nID) override;
};
