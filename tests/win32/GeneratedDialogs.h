// The dialog tables the Linux build generates from Dialogs.rc, copied into
// plain types: the test reading the compiled resources includes <windows.h>,
// whose style macros collide with the names DialogTemplate.h declares.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct CGeneratedItem {
    int nID;
    std::string strClass;
    std::string strText;
    int x, y, cx, cy;
    uint32_t dwStyle;
};

struct CGeneratedDialog {
    std::string strCaption;
    std::string strFaceName;
    int nPointSize;
    int cx, cy;
    uint32_t dwStyle;
    uint32_t dwExStyle;
    std::vector<CGeneratedItem> items;
};

// False for an id the table does not hold.
bool FindGeneratedDialog(unsigned int nID, CGeneratedDialog& dialog);
