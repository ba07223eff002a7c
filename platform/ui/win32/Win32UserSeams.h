// The product's user seams on Windows: MessageBox captioned "OrvexToolKit"
// and GetOpenFileName.
#pragma once

#include "Seams.h"

class CWin32UserSeams : public IUserSeams {
public:
    // MessageBox with the MB_ flags as given (buttons and icon); IDOK,
    // IDCANCEL, IDYES or IDNO.
    int MessageBox(const std::string& text, UINT nType) override;
    // GetOpenFileName for one existing file, with the filter as given and
    // the initial name offered; the name is taken as given, with no default
    // suffix.
    bool OpenFile(const COpenFileRequest& request, std::string* pPath) override;
};
