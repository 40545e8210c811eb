// The modeless progress dialog: status line, bar and a Cancel that only raises g_bCancel.
#include "shell/progress_dialog.h"

#include "shell/password_dialog.h"
#include "resource.h"

#include <commctrl.h>

enum { PROGRESS_RANGE_END = 100 };

BOOL OnProgressInitDialog(HWND hwnd)
{
    // The template's placeholder must never be seen, even for a moment.
    SetDlgItemTextW(hwnd, IDC_STATUS, L"");
    SendDlgItemMessageW(hwnd, IDC_PROGRESSBAR, PBM_SETRANGE32, 0, PROGRESS_RANGE_END);
    CenterWindow(hwnd);
    return TRUE;
}

INT_PTR CALLBACK ProgressDlgProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
    case WM_INITDIALOG:
        return OnProgressInitDialog(hwnd);
    case WM_COMMAND:
        // Cancel does not close the dialog: the worker sees the flag and ends the run.
        if (LOWORD(wParam) == IDCANCEL) {
            g_bCancel = 1;
            EnableWindow(GetDlgItem(hwnd, IDCANCEL), FALSE);
        }
        return 0;
    case WM_APP_PROGRESS:
        SetDlgItemTextW(hwnd, IDC_STATUS, reinterpret_cast<const WCHAR *>(wParam));
        SendDlgItemMessageW(hwnd, IDC_PROGRESSBAR, PBM_SETPOS, static_cast<WPARAM>(lParam), 0);
        // A dialog procedure's own result only says "handled"; the sender's result is this slot.
        SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, 1);
        return TRUE;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return 0;
    }
}
