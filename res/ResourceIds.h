// The ids of the tool's resources (Dialogs.rc, Strings.rc, OrvexToolKit.rc).
// Free of the platform's type names, so Windows code may include it beside
// <windows.h>, which DialogTemplate.h's style constants would clash with.
#pragma once

constexpr unsigned int IDD_MAIN_DIALOG = 102;
constexpr unsigned int IDD_PROGRESS_DIALOG = 103;
constexpr unsigned int IDD_LIST_PHONES = 136;

constexpr unsigned int IDS_WAIT = 104;

// The application icon: 16 to 256 pixels (Windows: ICON resource 128; Linux:
// the PNGs draw-icon.py renders, :/icons/orvex-N.png in the program).
constexpr unsigned int IDR_MAINFRAME = 128;
