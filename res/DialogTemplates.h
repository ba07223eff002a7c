// The dialog templates of the tool: 102 (main), 103 (progress), 136 (List Phones).
#pragma once

#include "DialogTemplate.h"

constexpr UINT IDD_MAIN_DIALOG = 102;
constexpr UINT IDD_PROGRESS_DIALOG = 103;
constexpr UINT IDD_LIST_PHONES = 136;

// Null for an unknown id.
const CDlgTemplate* FindDialogTemplate(UINT nID);
