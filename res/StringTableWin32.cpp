// The Windows side of the string table: the STRINGTABLE resources compiled
// from Strings.rc into the program (res_rc), read with LoadStringW.
#include "StringTable.h"

#include <windows.h>

namespace {

// RT_STRING in its wide form, whatever UNICODE says.
const LPCWSTR kStringType = MAKEINTRESOURCEW(6);

} // namespace

std::string LoadStringResource(unsigned int nID) {
    // With a zero buffer size LoadStringW hands out the resource's own text,
    // which is not terminated, and its length.
    const wchar_t* pText = nullptr;
    const int nLength =
        LoadStringW(GetModuleHandleW(nullptr), nID, reinterpret_cast<LPWSTR>(&pText), 0);
    if (nLength <= 0 || pText == nullptr)
        return std::string();
    const int nBytes =
        WideCharToMultiByte(CP_UTF8, 0, pText, nLength, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(nBytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, pText, nLength, text.data(), nBytes, nullptr, nullptr);
    return text;
}

bool InstallTranslator() {
    // Strings live in blocks of sixteen; IDS_WAIT's block stands for the table.
    const LANGID language = GetThreadUILanguage();
    return PRIMARYLANGID(language) != LANG_ENGLISH &&
           FindResourceExW(GetModuleHandleW(nullptr), kStringType,
                           MAKEINTRESOURCEW(IDS_WAIT / 16 + 1), language) != nullptr;
}
