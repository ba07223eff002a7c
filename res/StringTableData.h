// The string table as data (Linux), generated from Strings.rc.
#pragma once

struct CStringResource {
    unsigned int nID;
    const char* pszLanguage; // locale name: en_US, zh_TW, zh_CN
    const char* pszText;     // UTF-8
};

extern const CStringResource g_stringResources[];
extern const int g_nStringResources;

// The language the texts are written in, used where no other is chosen.
constexpr char kSourceLanguage[] = "en_US";
