#include "MainDlg.h"

#include "DialogTemplates.h"
#include "Profile.h"

namespace {
constexpr int IDC_IPADDRESS = 1010;
constexpr int IDC_UPDATE_PROGRAM = 1055;
constexpr int IDC_UPDATE_PFLASH = 1052;
constexpr int IDC_LIST_PHONES = 1066;
constexpr int kSaveLengthMax = 640000;
constexpr DWORD kDefaultPeerAddress = 3232235777u; // 192.168.1.1
} // namespace

CMainDlg::CMainDlg(CWnd* pParent)
    : CDialog(IDD_MAIN_DIALOG, pParent), m_hIcon(AfxLoadIcon(IDR_MAINFRAME)), m_ProgressDlg(0) {}

CMainDlg::~CMainDlg() = default;

void CMainDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_IPADDRESS, m_IPAddressCtrl);
    DDV_MinMaxInt(pDX, m_nSaveLength, 0, kSaveLengthMax);
}

BOOL CMainDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);

    m_strComPort = GetProfileString("Rs232", "Port", "COM1");
    m_nComPort = m_strComPort == "COM1" ? 0 : 1;
    m_nCommType = static_cast<int>(GetProfileInt("Comm", "Type", 1));
    m_dwPeerAddress = GetProfileInt("Peer", "IPAddress", static_cast<int>(kDefaultPeerAddress));
    m_IPAddressCtrl.SetAddress(m_dwPeerAddress);
    m_bRealtime = static_cast<int>(GetProfileInt("UdpAudio", "Realtime", 1));
    m_bSaveFile = static_cast<int>(GetProfileInt("UdpAudio", "SaveFile", 0));
    m_bRealtimeOut = static_cast<int>(GetProfileInt("UdpAudio", "RealtimeOut", 1));
    m_bNoAcm = static_cast<int>(GetProfileInt("UdpAudio", "NoAcm", 1));
    m_bUseVAD = static_cast<int>(GetProfileInt("UdpAudio", "UseVAD", 1));
    m_bUseHighRate = static_cast<int>(GetProfileInt("UdpAudio", "UseHighRate", 1));
    m_nSaveLength = static_cast<int>(GetProfileInt("Sdram", "SaveLength", 0));
    UpdateData(FALSE);
    return TRUE;
}

void CMainDlg::SaveProfile() {
    UpdateData(TRUE); // a failed range check has shown its message; the writes go on
    WriteProfileInt("Comm", "Type", m_nCommType);
    m_strComPort = m_nComPort != 0 ? "COM2" : "COM1";
    WriteProfileString("Rs232", "Port", m_strComPort.c_str());
    WriteProfileInt("UdpAudio", "Realtime", m_bRealtime);
    WriteProfileInt("UdpAudio", "SaveFile", m_bSaveFile);
    WriteProfileInt("UdpAudio", "RealtimeOut", m_bRealtimeOut);
    WriteProfileInt("UdpAudio", "NoAcm", m_bNoAcm);
    WriteProfileInt("UdpAudio", "UseVAD", m_bUseVAD);
    WriteProfileInt("UdpAudio", "UseHighRate", m_bUseHighRate);
    m_IPAddressCtrl.GetAddress(m_dwPeerAddress);
    WriteProfileInt("Peer", "IPAddress", static_cast<int>(m_dwPeerAddress));
    WriteProfileInt("Sdram", "SaveLength", m_nSaveLength);
    WriteProfileInt("UdpDebug", "IPOnly", m_bIPOnly);
}

void CMainDlg::OnCancel() {
    CDialog::OnCancel();
}

void CMainDlg::OnCommand(int nID) {
    switch (nID) {
    case IDC_UPDATE_PROGRAM:
        OnUpdateProgram();
        break;
    case IDC_UPDATE_PFLASH:
        OnUpdatePFlash();
        break;
    case IDC_LIST_PHONES:
        OnListPhones();
        break;
    default:
        CDialog::OnCommand(nID);
        break;
    }
}
