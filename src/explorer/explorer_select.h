// Remembers the focused Explorer control at start and selects the new archive in it.
#pragma once

#include "common/common.h"

// Thrown out of SelectItemInExplorer when an attempt failed and may be retried.
struct ExplorerAttemptFailed {};

void CaptureFocusedControl(void);
ATOM RegisterProbeClass(HINSTANCE hInstance);
// 1 when the name was found (or the focus was on the navigation tree), else 0;
// throws ExplorerAttemptFailed for a failed attempt.
int SelectItemInExplorer(const WCHAR *pszArchiveName);
