// The password dialog, and the window helpers both dialogs use.
#pragma once

#include "common/common.h"

#include <commctrl.h>

extern WCHAR g_chPassword;

INT_PTR CALLBACK PasswordDlgProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
BOOL OnPasswordInitDialog(HWND hwnd, PasswordRequest *pRequest);
void OnPasswordCommand(HWND hwnd, int nId);
LRESULT OnPasswordLinkNotify(const NMHDR *pHeader, int nId);
void CenterWindow(HWND hwnd);
BOOL IsXpOrLater(void);
