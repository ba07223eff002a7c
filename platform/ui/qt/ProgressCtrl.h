// The Linux side of CProgressCtrl: the template's "msctls_progress32" bar as
// a QProgressBar, with the bar's 32-bit range and position.
#pragma once

#include "Wnd.h"

#include <QProgressBar>

class CProgressCtrl : public QProgressBar, public CWnd {
    Q_OBJECT
public:
    explicit CProgressCtrl(QWidget* pParent = nullptr);
    QWidget* GetWidget() const override { return const_cast<CProgressCtrl*>(this); }

    // The bar's bounds; the position is brought inside them. An empty range
    // shows an empty bar.
    void SetRange32(int nLower, int nUpper);
    // Returns the old position.
    int SetPos(int nPos);
    int GetPos() const;

private:
    // Kept here because QProgressBar refuses a value outside an empty range,
    // which the Windows bar stores.
    int m_nLower = 0;
    int m_nUpper = 100;
    int m_nPos = 0;
};
