#include "DataExchange.h"

#include "Dialog.h"
#include "Seams.h"

#include <cstdio>

void DDV_MinMaxInt(CDataExchange* pDX, int value, int nMin, int nMax) {
    if (!pDX->m_bSaveAndValidate || pDX->m_bFailed)
        return;
    if (value < nMin || value > nMax) {
        char text[96];
        std::snprintf(text, sizeof text, "Please enter an integer between %d and %d.", nMin, nMax);
        AfxMessageBox(text, MB_OK | MB_ICONEXCLAMATION);
        pDX->m_bFailed = true;
    }
}

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl) {
    if (pDX->m_pDlgWnd != nullptr)
        pDX->m_pDlgWnd->BindControl(nIDC, &rControl);
}
