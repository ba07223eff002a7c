// The string table. Texts are English in the source and translated through
// Qt Linguist files, chosen by the locale (InstallTranslator).
#pragma once

#include "WinTypes.h"

#include <string>

constexpr UINT IDS_WAIT = 104;

// The string with this id in the current language (UTF-8); empty when unknown.
std::string LoadStringResource(UINT nID);
// Installs the translation of the system locale, when there is one; true if
// a translation was loaded.
bool InstallTranslator();
