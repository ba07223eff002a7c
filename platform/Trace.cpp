// The Linux side of the default trace sink: stderr.
#include "TraceDefault.h"

#include <cstdio>
#include <iconv.h>
#include <langinfo.h>
#include <string>

namespace {

bool IsAscii(const std::string& text) {
    for (unsigned char c : text)
        if (c >= 0x80)
            return false;
    return true;
}

// Two diagnostics are GB2312 byte strings; shown raw they are mojibake.
std::string ToLocale(const std::string& text) {
    if (IsAscii(text))
        return text;
    iconv_t cd = iconv_open(nl_langinfo(CODESET), "GB2312");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return text;
    std::string out(text.size() * 4, '\0');
    char* pIn = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    char* pOut = out.data();
    size_t outLeft = out.size();
    size_t rc = iconv(cd, &pIn, &inLeft, &pOut, &outLeft);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1))
        return text;
    out.resize(out.size() - outLeft);
    return out;
}

} // namespace

void WriteDefaultTrace(const char* pszText) {
    std::string line = ToLocale(pszText);
    fwrite(line.data(), 1, line.size(), stderr);
}
