#include "InputFile.h"

#include "HexReport.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/stat.h>

bool CheckInputFile(const std::string& path, bool bNonEmpty, std::string* pError) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        *pError = path + ": " + strerror(errno);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        *pError = path + ": is a folder, not a file";
        return false;
    }
    // The C runtime's open, which both platforms have.
    FILE* const pFile = fopen(path.c_str(), "rb");
    if (pFile == nullptr) {
        *pError = path + ": cannot be read: " + strerror(errno);
        return false;
    }
    fclose(pFile);
    if (bNonEmpty && st.st_size == 0) {
        *pError = path + ": is empty";
        return false;
    }
    return true;
}

bool CheckHexPage(const std::string& path, const std::string& readPath, std::string* pError) {
    const CHexReport report = ReadHexReport(readPath, nullptr);
    if (report.bAccepted)
        return true;
    *pError = path + ": " +
              (report.nLine > 0 ? "line " + std::to_string(report.nLine) + ": " : std::string()) +
              (report.reason.empty() ? "nothing to send" : report.reason);
    return false;
}

bool IsHexFileName(const std::string& path) {
    if (path.size() < 4)
        return false;
    std::string ext = path.substr(path.size() - 4);
    for (char& c : ext)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return ext == ".hex";
}
