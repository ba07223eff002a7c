// The Windows side of CIPAddressCtrl: the common control "SysIPAddress32".
// Values are host form: the first field in the most significant byte.
#pragma once

#include "Wnd.h"

class CIPAddressCtrl : public CWnd {
public:
    // The number of fields that are not blank; blank fields give 0.
    int GetAddress(DWORD& dwAddress) const;
    int GetAddress(BYTE& nField0, BYTE& nField1, BYTE& nField2, BYTE& nField3) const;
    void SetAddress(DWORD dwAddress);
    void SetAddress(BYTE nField0, BYTE nField1, BYTE nField2, BYTE nField3);
    BOOL IsBlank() const;
    void ClearAddress();
    // Gives the focus to field nField (0..3), its text selected.
    void SetFieldFocus(WORD nField);
};
