#include "LoadHexImage.h"

#include "HexFile.h"
#include "HexReport.h"
#include "Seams.h"

int LoadHexImage(const std::string& path, BYTE* pImage, const std::function<void(bool)>& fnBusy) {
    {
        // Only a file that cannot be opened has a message of its own here.
        CHexFile file;
        if (!file.Open(path, CHexFile::modeRead | CHexFile::typeText)) {
            AfxMessageBox("can not open hex file");
            return 0;
        }
    }
    if (fnBusy)
        fnBusy(true);
    const CHexReport report = ReadHexReport(path, pImage);
    if (fnBusy)
        fnBusy(false);
    return report.nLength;
}
