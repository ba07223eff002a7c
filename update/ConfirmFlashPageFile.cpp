#include "ConfirmFlashPageFile.h"

#include "GetFlashPageSectors.h"
#include "Seams.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

bool ConfirmFlashPageFile(const std::string& path) {
    // File name and extension: what follows the last directory separator.
    const size_t nSlash = path.find_last_of("/\\");
    std::string name = nSlash == std::string::npos ? path : path.substr(nSlash + 1);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });

    char szPageName[32];
    snprintf(szPageName, sizeof szPageName, "page%d.hex", kFlashPage);
    if (name.find(szPageName) != std::string::npos)
        return true;
    return AfxMessageBox("Are you sure about flash page?", MB_YESNO | MB_ICONQUESTION) == IDYES;
}
