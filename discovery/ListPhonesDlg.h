// The List Phones dialog (template 136): probes the network and lists every
// phone that answers; OK hands the chosen phone's address back.
#pragma once

#include "Dialog.h"
#include "ListCtrl.h"
#include "PhoneDiscovery.h"

#include <string>

class CListPhonesDlg : public CDialog, private CPhoneRowsListener {
    // The listening socket, the probe and the rows, open while the window
    // exists; first, as m_PhoneRows refers into it.
    CPhoneDiscovery m_Discovery;

public:
    explicit CListPhonesDlg(CWnd* pParent = nullptr);
    ~CListPhonesDlg() override;

    // Multicasts one probe; returns once its socket has closed again.
    void SendProbe();
    // WM_UDP_DATA from the listening socket: lParam is a WSABUF this frees.
    void OnUdpData(WPARAM wParam, LPARAM lParam);
    void AddPhoneRow(const PhoneTexts& texts);
    void OnRefresh();

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // The list 1230, which shows the rows, and the rows.
    CListCtrl m_PhoneList;
    CPhoneRows& m_PhoneRows;
    // The IP Address text of the row selected at OK; empty without one.
    std::string m_strIPAddress;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCommand(int nID) override;
    void OnDestroy() override;

private:
    void OnRowInserted(int nRow) override;
    void OnRowChanged(int nRow) override;
    void OnRowsReset() override;
    void ShowRowTexts(int nItem, int nRow);
};
