#include "LoadHexImage.h"

#include "HexFile.h"
#include "Seams.h"

#include <algorithm>
#include <cstring>

int LoadHexImage(const std::string& path, BYTE* pImage, const std::function<void(bool)>& fnBusy) {
    CHexFile file;
    if (!file.Open(path, CHexFile::modeRead | CHexFile::typeText)) {
        AfxMessageBox("can not open hex file");
        return 0;
    }
    if (fnBusy)
        fnBusy(true);
    int nLength = 0;
    while (file.ReadRecord()) {
        // A record that would run off the page ends the reading like any bad line.
        if (file.m_nAddress + file.m_nCount > kFlashPageSize)
            break;
        memcpy(pImage + file.m_nAddress, file.m_data, static_cast<size_t>(file.m_nCount));
        // The largest end, so a record overlapping the tail loses nothing.
        nLength = std::max(nLength, file.m_nAddress + file.m_nCount);
    }
    file.Close();
    if (fnBusy)
        fnBusy(false);
    return nLength;
}
