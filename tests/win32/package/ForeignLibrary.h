// The one function of the DLL that ForeignImport.cpp imports.
#pragma once

__declspec(dllimport) int ForeignValue();
