#include "ListPhonesDlg.h"

#include "Probe.h"

#include <QHeaderView>

namespace {
constexpr UINT IDD_LIST_PHONES = 136;
constexpr int IDC_PHONE_LIST = 1230;
constexpr int IDC_REFRESH = 3;
// Any address below 224.0.0.0 but 0 selects unicast mode; the listening
// socket never sends, so this one is never dialled.
constexpr DWORD kListenAddress = 0xC0A80101; // 192.168.1.1
} // namespace

CListPhonesDlg::CListPhonesDlg(QWidget* pParent) : CDialog(IDD_LIST_PHONES, pParent) {
    m_PhoneList.setModel(&m_PhoneRows);
}

CListPhonesDlg::~CListPhonesDlg() {
    // The view goes before its model (members die in reverse order).
    m_PhoneList.setModel(nullptr);
}

void CListPhonesDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_PHONE_LIST, m_PhoneList);
}

BOOL CListPhonesDlg::OnInitDialog() {
    CDialog::OnInitDialog();

    // Report view with grid lines and full-row, single selection; the model
    // keeps the rows in ascending text order of the address.
    m_PhoneList.setShowGrid(true);
    m_PhoneList.setSelectionBehavior(QAbstractItemView::SelectRows);
    m_PhoneList.setSelectionMode(QAbstractItemView::SingleSelection);
    m_PhoneList.setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_PhoneList.setWordWrap(false);
    m_PhoneList.verticalHeader()->hide();
    m_PhoneList.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_PhoneList.horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    m_PhoneList.horizontalHeader()->setHighlightSections(false);
    for (int i = 0; i < CPhoneListModel::kColumns; ++i)
        m_PhoneList.setColumnWidth(i, CPhoneListModel::Width(i));

    m_UdpSocket.Enter(GetSafeHwnd(), WM_UDP_DATA, kListenAddress, kReplyPort, kDiscoveryRecvSize);
    SendProbe();
    return TRUE;
}

void CListPhonesDlg::SendProbe() { SendDiscoveryProbe(GetSafeHwnd()); }

LRESULT CListPhonesDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_UDP_DATA) {
        OnUdpData(wParam, lParam);
        return 0;
    }
    return CDialog::WindowProc(message, wParam, lParam);
}

void CListPhonesDlg::OnUdpData(WPARAM, LPARAM lParam) {
    auto* pBuf = reinterpret_cast<WSABUF*>(lParam);
    PhoneTexts texts;
    if (DecodePhoneReply(reinterpret_cast<const BYTE*>(pBuf->buf), pBuf->len, &texts))
        AddPhoneRow(texts);
    FreeWsaBuf(pBuf);
}

void CListPhonesDlg::AddPhoneRow(const PhoneTexts& texts) { m_PhoneRows.AddRow(texts); }

void CListPhonesDlg::OnCommand(int nID) {
    if (nID == IDC_REFRESH)
        OnRefresh();
    else
        CDialog::OnCommand(nID);
}

void CListPhonesDlg::OnRefresh() {
    m_PhoneRows.DeleteAllItems();
    UpdateData(FALSE);
    SendProbe();
}

void CListPhonesDlg::OnOK() {
    const QModelIndexList selected = m_PhoneList.selectionModel()->selectedRows();
    m_strIPAddress = selected.isEmpty() ? std::string() : m_PhoneRows.Row(selected.first().row())[0];
    CDialog::OnOK();
}

void CListPhonesDlg::OnDestroy() {
    // Replies still queued for the window are discarded with it.
    m_UdpSocket.Leave();
    CDialog::OnDestroy();
}
