// The string table: texts by id in the user's language, as UTF-8. Its source
// is Strings.rc, English with a LANGUAGE block per translation.
//
// Windows: the STRINGTABLE resources themselves, so a program that calls
// LoadStringResource links the res_rc object library (the compiled
// OrvexToolKit.rc) beside res; LoadStringW picks the block of the thread's
// UI language. Linux: a table generated from Strings.rc, in the language
// InstallTranslator chose.
#pragma once

#include "ResourceIds.h"

#include <string>

// The string with this id in the chosen language, English where that
// language lacks it; empty when no language has it.
std::string LoadStringResource(unsigned int nID);

// Chooses the language LoadStringResource answers in from the user's
// locale; true when it is a translation, false for English. Linux: the
// locale QLocale() reports (the system's or the default set), matched as
// Qt matches translation files: each of its UI languages, then shorter
// forms of it (zh_Hant_TW, zh_Hant, zh). Windows: the resource loader
// chooses by itself; this only reports whether the thread's UI language has
// a block of its own.
bool InstallTranslator();
