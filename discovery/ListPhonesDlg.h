// The List Phones dialog (template 136): probes the network and lists every
// phone that answers; OK hands the chosen phone's address back.
#pragma once

#include "Dialog.h"
#include "PhoneDiscovery.h"
#include "PhoneListModel.h"

#include <QTableView>
#include <string>

class CListPhonesDlg : public CDialog {
    Q_OBJECT
    // The listening socket, the probe and the rows, open while the window
    // exists; first, as m_PhoneRows refers into it.
    CPhoneDiscovery m_Discovery;

public:
    explicit CListPhonesDlg(QWidget* pParent = nullptr);
    ~CListPhonesDlg() override;

    // Multicasts one probe; returns once its socket has closed again.
    void SendProbe();
    // WM_UDP_DATA from the listening socket: lParam is a WSABUF this frees.
    void OnUdpData(WPARAM wParam, LPARAM lParam);
    void AddPhoneRow(const PhoneTexts& texts);
    void OnRefresh();

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // The list 1230 and its rows, shown from the discovery's.
    QTableView m_PhoneList;
    CPhoneListModel m_PhoneRows;
    // The IP Address text of the row selected at OK; empty without one.
    std::string m_strIPAddress;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCommand(int nID) override;
    void OnDestroy() override;
};
