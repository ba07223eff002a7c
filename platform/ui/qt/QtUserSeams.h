// The product's user seams: Qt message boxes and the open-file dialog.
#pragma once

#include "Seams.h"

#include <QString>

class CQtUserSeams : public IUserSeams {
public:
    // A modal QMessageBox captioned "OrvexToolKit" with the buttons and icon
    // of the MB_ flags (no icon flag: the warning icon); IDOK, IDCANCEL,
    // IDYES or IDNO.
    int MessageBox(const std::string& text, UINT nType) override;
    // A QFileDialog for one existing file, the initial name selected; the
    // name is taken as given, with no default suffix.
    bool OpenFile(const COpenFileRequest& request, std::string* pPath) override;

    // "A (*.a)|*.a|B (*.*)|*.*||" -> "A (*.a) (*.a);;B (*.*) (*)": each
    // name as given, then the patterns Qt matches ("*.*" lists every file).
    // The dialog hides the last parentheses, so the user reads the names.
    static QString ConvertFilter(const std::string& mfcFilter);
};
