#include "LoadHexImage.h"

#include "HexFile.h"
#include "HexReport.h"
#include "Seams.h"

int LoadHexImage(const std::string& path, BYTE* pImage, const std::function<void(bool)>& fnBusy) {
    // Opened once: a FIFO gives its bytes to one reader only.
    CHexFile file;
    if (!file.Open(path, CHexFile::modeRead | CHexFile::typeText)) {
        // Only a file that cannot be opened has a message of its own here.
        AfxMessageBox("can not open hex file");
        return 0;
    }
    if (fnBusy)
        fnBusy(true);
    const CHexReport report = ReadHexReport(file, pImage);
    file.Close();
    if (fnBusy)
        fnBusy(false);
    return report.nLength;
}
