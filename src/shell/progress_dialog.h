// The modeless progress dialog shown while the worker builds the archive.
#pragma once

#include "common/common.h"

INT_PTR CALLBACK ProgressDlgProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
BOOL OnProgressInitDialog(HWND hwnd);
