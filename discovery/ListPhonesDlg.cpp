#include "ListPhonesDlg.h"

#include <QHeaderView>

namespace {
constexpr UINT IDD_LIST_PHONES = 136;
constexpr int IDC_PHONE_LIST = 1230;
constexpr int IDC_REFRESH = 3;
} // namespace

CListPhonesDlg::CListPhonesDlg(QWidget* pParent)
    : CDialog(IDD_LIST_PHONES, pParent), m_PhoneRows(m_Discovery.Rows()) {
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
    const QModelIndexList selected = m_PhoneList.selectionModel()->selectedRows();
    m_strIPAddress =
        selected.isEmpty() ? std::string() : m_PhoneRows.Row(selected.first().row())[0];
    CDialog::OnOK();
}

void CListPhonesDlg::OnDestroy() {
    // Replies still queued are discarded with the discovery's window.
    m_Discovery.Stop();
    CDialog::OnDestroy();
}
