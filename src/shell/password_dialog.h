// The password dialog, and the window helpers both dialogs use.
#pragma once

#include "common/common.h"

#include <commctrl.h>

// Host of the maker's web site that the dialog's links open (a reserved example host until the
// real one is known).
#define KOLBRIN_SITE_HOST L"www.example.com"

extern WCHAR g_chPassword;

// The one call of the shell that tests replace, so that a link does not start a browser.
typedef HINSTANCE(WINAPI *ShellExecuteWFn)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);
struct ShellSeams {
    ShellExecuteWFn pfnShellExecuteW;
};
extern ShellSeams g_ShellSeams;

INT_PTR CALLBACK PasswordDlgProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
BOOL OnPasswordInitDialog(HWND hwnd, PasswordRequest *pRequest);
void OnPasswordCommand(HWND hwnd, int nId);
LRESULT OnPasswordLinkNotify(const NMHDR *pHeader, int nId);
void CenterWindow(HWND hwnd);
BOOL IsXpOrLater(void);
// Every message box of the program: one caption, the error icon; hwndOwner may be NULL.
void ShowErrorMessage(HWND hwndOwner, const WCHAR *pszText);
