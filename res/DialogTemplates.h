// The dialog templates of the tool: 102 (main), 103 (progress), 136 (List
// Phones). Their source is Dialogs.rc; gen-resources.py turns it into the
// table behind FindDialogTemplate at build time.
#pragma once

#include "DialogTemplate.h"
#include "ResourceIds.h"

// Null for an unknown id.
const CDlgTemplate* FindDialogTemplate(UINT nID);
