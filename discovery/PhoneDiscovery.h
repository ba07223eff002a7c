// Finding the phones: a listening socket on port 1030, the multicast probe,
// and the rows its replies make. The List Phones dialog and the command-line
// program share it; it needs no widgets, only a thread whose posted messages
// are delivered (a GetMessage/DispatchMessage loop, or on Linux the Qt event
// loop of a QApplication or QCoreApplication).
//
//   CPhoneDiscovery discovery;            // on the thread that pumps
//   discovery.Start();                    // listens, then probes once
//   ... run the event loop; replies become rows of discovery.Rows() ...
//   discovery.Refresh();                  // empties the rows, probes again
//   discovery.Stop();                     // or let the destructor do it
//
// The rows keep the dialog's order and texts (CPhoneRows: one row per IP
// Address text, ascending as text; CPhoneRows::Heading gives the seven
// column headings). Rows change only on this object's thread, as the
// replies are delivered; a CPhoneRowsListener tells a watcher when.
#pragma once

#include "MsgWnd.h"
#include "PhoneRows.h"
#include "UdpSocket.h"

class CPhoneDiscovery : public CMsgWnd {
public:
    // dwLocalAddress in host form (first octet most significant): the
    // address to listen on and to probe from. 0 takes the local host's own
    // address, as the List Phones dialog does (GetLocalHostAddress).
    explicit CPhoneDiscovery(DWORD dwLocalAddress = 0);
    ~CPhoneDiscovery() override;

    // Makes the window on the calling thread, opens the listening socket and
    // sends the first probe (back once it is sent, at most 3000 ms). FALSE
    // when already started or no window could be made. A socket that cannot
    // be opened shows only in its diagnostics: no reply ever comes.
    BOOL Start();
    // Empties the rows and probes again; the listening socket stays open, so
    // late replies to the previous probe are listed too.
    void Refresh();
    // Sends one probe without touching the rows.
    void SendProbe();
    // Closes the listening socket and discards the replies not yet
    // delivered; the rows stay. Harmless before Start and a second time.
    void Stop();

    CPhoneRows& Rows() { return m_PhoneRows; }
    const CPhoneRows& Rows() const { return m_PhoneRows; }
    DWORD GetLocalAddress() const { return m_dwLocalAddress; }

    // WM_UDP_DATA: decodes the reply in lParam's WSABUF into its row (a
    // reply too short to decode makes none) and frees the record.
    void OnUdpData(WPARAM wParam, LPARAM lParam);

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    const DWORD m_dwLocalAddress;
    CPhoneRows m_PhoneRows;
    CUdpSocket m_UdpSocket;
};
