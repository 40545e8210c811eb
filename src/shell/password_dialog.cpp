// The password dialog: asks for the password twice, checks it, hands it back in the request;
// also the centring and version helpers that the progress dialog shares.
#include "shell/password_dialog.h"

#include "resource.h"

#include <shellapi.h>
#include <string.h>
#include <strsafe.h>

WCHAR g_chPassword = 0;
ShellSeams g_ShellSeams = { ShellExecuteW };

enum {
    PASSWORD_READ_BYTES = 128,   // GetWindowTextA buffer; far above what the check accepts
    THEME_TAB_TEXTURE = 6        // ETDT_ENABLETAB
};

static const WCHAR TEXT_PASSWORD_EMPTY[] = L"パスワードは１文字以上入力して下さい。";
static const WCHAR TEXT_PASSWORD_TOO_LONG[] = L"パスワードは半角換算32文字以下で入力して下さい。";
static const WCHAR TEXT_MISMATCH[] = L"入力が一致していません。";

#define SITE_URL(page) L"http://" KOLBRIN_SITE_HOST page

void ShowErrorMessage(HWND hwndOwner, const WCHAR *pszText)
{
    MessageBoxW(hwndOwner, pszText, L"Kolbrin", MB_OK | MB_ICONERROR);
}

// UxTheme is bound on first use, so nothing of it is loaded unless the version test passed.
// The module stays loaded for the rest of the process, as a delay-loaded import would.
static void EnableThemedBackground(HWND hwnd)
{
    typedef HRESULT(WINAPI * EnableThemeDialogTextureFn)(HWND, DWORD);
    static BOOL s_bBound = FALSE;
    static EnableThemeDialogTextureFn s_pfnEnable = NULL;

    if (!s_bBound) {
        s_bBound = TRUE;
        HMODULE hUxTheme = LoadLibraryW(L"uxtheme.dll");
        if (hUxTheme != NULL) {
            FARPROC pfn = GetProcAddress(hUxTheme, "EnableThemeDialogTexture");
            s_pfnEnable = reinterpret_cast<EnableThemeDialogTextureFn>(reinterpret_cast<void (*)(void)>(pfn));
        }
    }
    if (s_pfnEnable != NULL) {
        s_pfnEnable(hwnd, THEME_TAB_TEXTURE);
    }
}

BOOL IsXpOrLater(void)
{
    OSVERSIONINFOW info;
    ZeroMemory(&info, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
    GetVersionExW(&info);
    return info.dwMajorVersion > 5 || (info.dwMajorVersion == 5 && info.dwMinorVersion >= 1);
}

void CenterWindow(HWND hwnd)
{
    HWND hwndReference = GetParent(hwnd);
    if (hwndReference == NULL) {
        hwndReference = GetDesktopWindow();
    }

    RECT rcReference;
    RECT rcWindow;
    RECT rcDesktop;
    GetWindowRect(hwndReference, &rcReference);
    GetWindowRect(hwnd, &rcWindow);

    int cxWindow = rcWindow.right - rcWindow.left;
    int cyWindow = rcWindow.bottom - rcWindow.top;
    int xLeft = rcReference.left + ((rcReference.right - rcReference.left) - cxWindow) / 2;
    int yTop = rcReference.top + ((rcReference.bottom - rcReference.top) - cyWindow) / 2;
    OffsetRect(&rcWindow, xLeft - rcWindow.left, yTop - rcWindow.top);

    // Right and bottom first, left and top last: a window larger than the desktop keeps its
    // top-left corner (and so its caption) on the screen.
    GetWindowRect(GetDesktopWindow(), &rcDesktop);
    if (rcWindow.right > rcDesktop.right) {
        OffsetRect(&rcWindow, rcDesktop.right - rcWindow.right, 0);
    }
    if (rcWindow.bottom > rcDesktop.bottom) {
        OffsetRect(&rcWindow, 0, rcDesktop.bottom - rcWindow.bottom);
    }
    if (rcWindow.left < rcDesktop.left) {
        OffsetRect(&rcWindow, rcDesktop.left - rcWindow.left, 0);
    }
    if (rcWindow.top < rcDesktop.top) {
        OffsetRect(&rcWindow, 0, rcDesktop.top - rcWindow.top);
    }

    SetWindowPos(hwnd, HWND_TOP, rcWindow.left, rcWindow.top, 0, 0, SWP_NOSIZE);
}

BOOL OnPasswordInitDialog(HWND hwnd, PasswordRequest *pRequest)
{
    if (IsXpOrLater()) {
        EnableThemedBackground(hwnd);
    }

    SendDlgItemMessageW(hwnd, IDC_PASSWORD, EM_LIMITTEXT, PASSWORD_MAX_LENGTH, 0);
    SendDlgItemMessageW(hwnd, IDC_CONFIRM, EM_LIMITTEXT, PASSWORD_MAX_LENGTH, 0);

    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(pRequest));

    g_chPassword = static_cast<WCHAR>(LOWORD(SendDlgItemMessageW(hwnd, IDC_PASSWORD, EM_GETPASSWORDCHAR, 0, 0)));

    // Started without items the dialog only informs: links and Cancel stay usable.
    if (pRequest->nArgs <= 1) {
        EnableWindow(GetDlgItem(hwnd, IDC_PASSWORD), FALSE);
        EnableWindow(GetDlgItem(hwnd, IDC_CONFIRM), FALSE);
        EnableWindow(GetDlgItem(hwnd, IDC_SHOWPASSWORD), FALSE);
        EnableWindow(GetDlgItem(hwnd, IDOK), FALSE);
    }

    CenterWindow(hwnd);
    return TRUE;
}

// The texts arrive in the ANSI code page, so the length bound counts bytes, as the archive does.
// The two local copies are wiped on every exit: only the request keeps the password.
static void AcceptPassword(HWND hwnd)
{
    PasswordRequest *pRequest = reinterpret_cast<PasswordRequest *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    char szPassword[PASSWORD_READ_BYTES];
    char szConfirm[PASSWORD_READ_BYTES];
    const WCHAR *pszError = NULL;
    size_t cbPassword = 0;
    ZeroMemory(szPassword, sizeof(szPassword));
    ZeroMemory(szConfirm, sizeof(szConfirm));

    GetWindowTextA(GetDlgItem(hwnd, IDC_PASSWORD), szPassword, PASSWORD_READ_BYTES);
    cbPassword = strlen(szPassword);
    if (cbPassword == 0) {
        pszError = TEXT_PASSWORD_EMPTY;
        goto cleanup;
    }
    if (cbPassword > PASSWORD_MAX_LENGTH) {
        pszError = TEXT_PASSWORD_TOO_LONG;
        goto cleanup;
    }

    GetWindowTextA(GetDlgItem(hwnd, IDC_CONFIRM), szConfirm, PASSWORD_READ_BYTES);
    if (strlen(szConfirm) != cbPassword || memcmp(szPassword, szConfirm, cbPassword) != 0) {
        pszError = TEXT_MISMATCH;
        goto cleanup;
    }

    // At most 32 bytes and the terminator reach the 64-byte field, so the copy cannot fail.
    StringCchCopyA(pRequest->szPassword, PASSWORD_BYTES, szPassword);

cleanup:
    SecureZeroMemory(szPassword, sizeof(szPassword));
    SecureZeroMemory(szConfirm, sizeof(szConfirm));
    if (pszError != NULL) {
        ShowErrorMessage(hwnd, pszError);
    } else {
        EndDialog(hwnd, IDOK);
    }
}

static void ApplyShowPassword(HWND hwnd)
{
    WCHAR chMask = g_chPassword;
    if (SendDlgItemMessageW(hwnd, IDC_SHOWPASSWORD, BM_GETCHECK, 0, 0) == BST_CHECKED) {
        chMask = 0;
    }
    const int anEdits[] = { IDC_PASSWORD, IDC_CONFIRM };
    for (int nEdit : anEdits) {
        HWND hwndEdit = GetDlgItem(hwnd, nEdit);
        if (hwndEdit != NULL) {
            SendMessageW(hwndEdit, EM_SETPASSWORDCHAR, chMask, 0);
            InvalidateRect(hwndEdit, NULL, TRUE);
        }
    }
}

void OnPasswordCommand(HWND hwnd, int nId)
{
    switch (nId) {
    case IDOK:
        AcceptPassword(hwnd);
        break;
    case IDCANCEL:
        EndDialog(hwnd, IDCANCEL);
        break;
    case IDC_SHOWPASSWORD:
        ApplyShowPassword(hwnd);
        break;
    default:
        break;
    }
}

LRESULT OnPasswordLinkNotify(const NMHDR *pHeader, int nId)
{
    if (pHeader->code != static_cast<UINT>(NM_CLICK) && pHeader->code != static_cast<UINT>(NM_RETURN)) {
        return 0;
    }
    const WCHAR *pszAddress = NULL;
    switch (nId) {
    case IDC_LINK_HOME:
        pszAddress = SITE_URL(L"/kolbrin/");
        break;
    case IDC_LINK_UPDATE:
        pszAddress = SITE_URL(L"/kolbrin/download.html");
        break;
    case IDC_LINK_QA:
        pszAddress = SITE_URL(L"/kolbrin/qa.html");
        break;
    default:
        return 0;
    }
    g_ShellSeams.pfnShellExecuteW(NULL, L"open", pszAddress, NULL, NULL, SW_SHOW);
    return 0;
}

INT_PTR CALLBACK PasswordDlgProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
    case WM_INITDIALOG:
        return OnPasswordInitDialog(hwnd, reinterpret_cast<PasswordRequest *>(lParam));
    case WM_COMMAND:
        OnPasswordCommand(hwnd, LOWORD(wParam));
        return 0;
    case WM_NOTIFY:
        return OnPasswordLinkNotify(reinterpret_cast<const NMHDR *>(lParam), static_cast<int>(wParam));
    default:
        return 0;
    }
}
