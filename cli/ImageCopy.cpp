#include "ImageCopy.h"

#include "HexStop.h"
#include "UploadSize.h"

namespace {
constexpr size_t kChunk = 64 * 1024;
} // namespace

std::string ImageTooLong(const std::string& path) {
    return path + ": is longer than " + std::to_string(kMaxUploadLength) +
           " bytes, more than an update can send";
}

bool CopyImage(const std::string& path, bool bHexPage, const ImageReader& read,
               const ImageWriter& write, int64_t* pLength, std::string* pError) {
    CHexStop hexStop;
    bool bAnyByte = false; // a page that begins with Ctrl-Z is not empty
    int64_t nLength = 0;
    std::string buffer(kChunk, '\0');
    while (!hexStop.Stopped()) {
        const int64_t nRead = read(&buffer[0], buffer.size(), pError);
        if (nRead < 0)
            return false;
        if (nRead == 0)
            break;
        bAnyByte = true;
        size_t nKeep = static_cast<size_t>(nRead);
        if (bHexPage)
            nKeep = hexStop.Scan(buffer.data(), nKeep);
        nLength += static_cast<int64_t>(nKeep);
        if (nLength > kMaxUploadLength) {
            *pError = ImageTooLong(path);
            return false;
        }
        if (!write(buffer.data(), nKeep, pError))
            return false;
    }
    if (!bAnyByte) {
        *pError = path + ": is empty";
        return false;
    }
    *pLength = nLength;
    return true;
}
