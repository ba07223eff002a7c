// The Windows side of CProgressCtrl: the common control "msctls_progress32".
#pragma once

#include "Wnd.h"

class CProgressCtrl : public CWnd {
public:
    // The bar's bounds; the position is brought inside them.
    void SetRange32(int nLower, int nUpper);
    // Returns the old position.
    int SetPos(int nPos);
    int GetPos() const;
};
