#include "ListPhonesDlg.h"

namespace {
constexpr UINT IDD_LIST_PHONES = 136;
constexpr int IDC_PHONE_LIST = 1230;
constexpr int IDC_REFRESH = 3;
} // namespace

CListPhonesDlg::CListPhonesDlg(CWnd* pParent)
    : CDialog(IDD_LIST_PHONES, pParent), m_PhoneRows(m_Discovery.Rows()) {}

CListPhonesDlg::~CListPhonesDlg() {
    // The list goes before the rows (members die in reverse order).
    m_PhoneRows.RemoveListener(this);
}

void CListPhonesDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_PHONE_LIST, m_PhoneList);
}

BOOL CListPhonesDlg::OnInitDialog() {
    CDialog::OnInitDialog();

    // Report view with grid lines and full-row, single selection; the rows
    // keep ascending text order of the address, and the list shows them so.
    m_PhoneList.SetExtendedStyle(LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    for (int i = 0; i < CPhoneRows::kColumns; ++i)
        m_PhoneList.InsertColumn(i, CPhoneRows::Heading(i), LVCFMT_CENTER, CPhoneRows::Width(i));
    m_PhoneList.DeleteAllItems();
    for (int i = 0; i < m_PhoneRows.GetItemCount(); ++i)
        OnRowInserted(i);
    m_PhoneRows.AddListener(this);

    // Opens the listening socket, then sends the first probe.
    m_Discovery.Start();
    return TRUE;
}

void CListPhonesDlg::SendProbe() {
    m_Discovery.SendProbe();
}

LRESULT CListPhonesDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_UDP_DATA) {
        OnUdpData(wParam, lParam);
        return 0;
    }
    return CDialog::WindowProc(message, wParam, lParam);
}

void CListPhonesDlg::OnUdpData(WPARAM wParam, LPARAM lParam) {
    m_Discovery.OnUdpData(wParam, lParam);
}

void CListPhonesDlg::AddPhoneRow(const PhoneTexts& texts) {
    m_PhoneRows.AddRow(texts);
}

void CListPhonesDlg::OnCommand(int nID) {
    if (nID == IDC_REFRESH)
        OnRefresh();
    else
        CDialog::OnCommand(nID);
}

void CListPhonesDlg::OnRefresh() {
    m_Discovery.Refresh();
    UpdateData(FALSE);
}

void CListPhonesDlg::OnOK() {
    const int nItem = m_PhoneList.GetNextItem(-1, LVNI_SELECTED);
    m_strIPAddress = nItem < 0 ? std::string() : m_PhoneList.GetItemText(nItem, 0);
    CDialog::OnOK();
}

void CListPhonesDlg::OnDestroy() {
    // Replies still queued are discarded with the discovery's window.
    m_Discovery.Stop();
    m_PhoneRows.RemoveListener(this);
    CDialog::OnDestroy();
}

void CListPhonesDlg::OnRowInserted(int nRow) {
    // A sorted list places the item itself; the texts go where it did.
    ShowRowTexts(m_PhoneList.InsertItem(nRow, m_PhoneRows.Row(nRow)[0]), nRow);
}

void CListPhonesDlg::OnRowChanged(int nRow) {
    ShowRowTexts(nRow, nRow);
}

void CListPhonesDlg::OnRowsReset() {
    m_PhoneList.DeleteAllItems();
}

void CListPhonesDlg::ShowRowTexts(int nItem, int nRow) {
    const PhoneTexts& texts = m_PhoneRows.Row(nRow);
    for (int i = 1; i < CPhoneRows::kColumns; ++i)
        m_PhoneList.SetItemText(nItem, i, texts[static_cast<size_t>(i)]);
}
