#include "GeneratedDialogs.h"

#include "DialogTemplates.h"

bool FindGeneratedDialog(unsigned int nID, CGeneratedDialog& dialog) {
    const CDlgTemplate* pTemplate = FindDialogTemplate(nID);
    if (pTemplate == nullptr)
        return false;
    dialog = {pTemplate->pszCaption, pTemplate->pszFaceName, pTemplate->nPointSize, pTemplate->cx,
              pTemplate->cy,         pTemplate->dwStyle,     pTemplate->dwExStyle,  {}};
    for (int i = 0; i < pTemplate->nItems; ++i) {
        const CDlgItemTemplate& item = pTemplate->pItems[i];
        dialog.items.push_back({item.nID, item.pszClass, item.pszText, item.x, item.y, item.cx,
                                item.cy, item.dwStyle});
    }
    return true;
}
