// Entry point of Kolbrin: asks for the password, builds the archive on a worker thread while the
// main thread pumps messages, reports the result and selects the new archive in Explorer.
#include "common/common.h"
#include "archive/archive_builder.h"
#include "explorer/explorer_select.h"
#include "shell/password_dialog.h"
#include "shell/progress_dialog.h"
#include "resource.h"

#include <commctrl.h>
#include <process.h>
#include <shellapi.h>
#include <shlobj.h>

// Failures of the start-up itself, shown through the generic message. They lie above every
// BuildResult so that a user's report names the cause without doubt.
enum {
    START_NO_ARGUMENT_VECTOR = 201,   // CommandLineToArgvW gave no vector
    START_NO_PROGRESS_DIALOG = 202,   // CreateDialogParamW of the progress dialog failed
    START_NO_WORKER = 203,            // _beginthreadex failed
    START_NO_PASSWORD_DIALOG = 204    // DialogBoxParamW could not show the password dialog
};

enum {
    PROGRESS_SHOW_DELAY_MS = 500,
    SELECT_RETRIES = 5,              // after the first call
    SELECT_RETRY_PAUSE_MS = 100
};

static void ShowGenericError(int nCode)
{
    WCHAR szMessage[MESSAGE_UNITS];
    FormatMessageText(szMessage, L"何らかのエラーが発生しました。(%d)", nCode);
    ShowErrorMessage(NULL, szMessage);
}

// Destroying the progress dialog posts a quit message; when no loop is left to fetch it, it
// must go, or the next message box would end before the user could read it.
static void DiscardProgressDialog(void)
{
    MSG msg;
    if (g_hwndProgress != NULL) {
        DestroyWindow(g_hwndProgress);
        g_hwndProgress = NULL;
    }
    while (PeekMessageW(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

// Pumps messages without ever blocking until the worker has ended and the progress dialog's
// destruction has posted the quit message; shows the dialog once when the work runs long.
static void RunMessageLoop(HANDLE hThread, DWORD dwStartTick)
{
    BOOL bShowPending = TRUE;
    MSG msg;

    for (;;) {
        if (PeekMessageW(&msg, NULL, 0, 0, PM_NOREMOVE)) {
            BOOL bGot = GetMessageW(&msg, NULL, 0, 0);
            if (bGot == 0) {
                break;
            }
            if (bGot > 0) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
        if (WaitForSingleObject(hThread, 0) == WAIT_OBJECT_0 && g_hwndProgress != NULL) {
            SendMessageW(g_hwndProgress, WM_APP_PROGRESS, (WPARAM)L"", 100);
            if (g_hwndProgress != NULL) {
                DestroyWindow(g_hwndProgress);
                g_hwndProgress = NULL;
            }
        }
        if (bShowPending && (DWORD)(GetTickCount() - dwStartTick) > PROGRESS_SHOW_DELAY_MS) {
            if (g_hwndProgress != NULL) {
                ShowWindow(g_hwndProgress, SW_SHOW);
            }
            bShowPending = FALSE;
        }
    }
}

// Selects the archive in the Explorer window the program was started from. A failed attempt
// (or any other fault escaping the call) is retried a few times; the user never hears of it.
static void SelectArchive(const WCHAR *pszOutPath)
{
    PathParts parts;
    WCHAR szArchiveName[PATH_UNITS];
    int nRetry = 0;

    if (!SplitPath(pszOutPath, &parts) || !FormatPath(szArchiveName, L"%s%s", parts.szFname, parts.szExt)) {
        return;
    }
    for (;;) {
        BOOL bFailed = FALSE;
        try {
            SelectItemInExplorer(szArchiveName);
        } catch (const ExplorerAttemptFailed &) {
            bFailed = TRUE;
        } catch (...) {
            bFailed = TRUE;
        }
        if (!bFailed || nRetry >= SELECT_RETRIES) {
            break;
        }
        nRetry++;
        Sleep(SELECT_RETRY_PAUSE_MS);
    }
}

// Tells the user what a failed build means; the partial archive, if one was begun, goes first.
static void ReportFailure(BuildResult nResult, const WCHAR *pszOutPath, int nArgs, LPWSTR *ppszArgs)
{
    WCHAR szMessage[MESSAGE_UNITS];

    if (pszOutPath[0] != L'\0') {
        DeleteFileW(pszOutPath);
        SHChangeNotify(SHCNE_DELETE, SHCNF_PATHW, pszOutPath, NULL);
    }
    szMessage[0] = L'\0';
    if (nResult == BUILD_CANNOT_CREATE_ARCHIVE) {
        FormatMessageText(szMessage, L"ファイルが作成できません。\n%s", pszOutPath);
    } else if (nResult == BUILD_NO_FILES && nArgs >= 2) {
        FormatMessageText(szMessage,
            L"指定されたディレクトリ %s は空なので、暗号化圧縮 (zip 形式) フォルダーはそのディレクトリをアーカイブに追加できません。",
            ppszArgs[1]);
    }
    if (nResult == BUILD_CANCELLED) {
        return;
    }
    // A text that did not fit (a very long item) falls back to the code rather than a cut text.
    if (szMessage[0] == L'\0') {
        ShowGenericError(nResult);
        return;
    }
    ShowErrorMessage(NULL, szMessage);
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow)
{
    LPWSTR *ppszArgs = NULL;
    int nArgs = 0;
    INITCOMMONCONTROLSEX icc;
    PasswordRequest request;
    WorkerArgs args;
    WCHAR szOutPath[PATH_UNITS];
    HANDLE hThread = NULL;
    DWORD dwExitCode = 0;
    DWORD dwStartTick;
    INT_PTR nDialogResult;

    (void)hPrevInstance;
    (void)lpCmdLine;
    (void)nCmdShow;

    // The Explorer window that started us is still in front only before our first window.
    CaptureFocusedControl();
    g_hInstance = hInstance;
    ZeroMemory(&request, sizeof(request));

    ppszArgs = CommandLineToArgvW(GetCommandLineW(), &nArgs);
    if (ppszArgs == NULL) {
        ShowGenericError(START_NO_ARGUMENT_VECTOR);
        goto cleanup;
    }

    // The password dialog's links and the progress dialog's bar need their classes registered.
    icc.dwSize = sizeof(icc);
    icc.dwICC = ICC_LINK_CLASS | ICC_PROGRESS_CLASS;
    InitCommonControlsEx(&icc);

    request.nArgs = nArgs;
    nDialogResult = DialogBoxParamW(g_hInstance, MAKEINTRESOURCEW(IDD_PASSWORD), NULL, PasswordDlgProc,
                                    (LPARAM)&request);
    if (nDialogResult == IDCANCEL) {
        goto cleanup;
    }
    // Without the dialog there is no password; an archive must never be made without one.
    if (nDialogResult != IDOK) {
        ShowGenericError(START_NO_PASSWORD_DIALOG);
        goto cleanup;
    }

    if (g_hwndProgress == NULL) {
        g_bCancel = 0;
        g_hwndProgress = CreateDialogParamW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDD_PROGRESS), NULL,
                                            ProgressDlgProc, 0);
    }
    // The loop below ends only through this dialog's destruction, so no dialog, no run.
    if (g_hwndProgress == NULL) {
        ShowGenericError(START_NO_PROGRESS_DIALOG);
        goto cleanup;
    }

    ZeroMemory(szOutPath, sizeof(szOutPath));
    args.nArgs = nArgs;
    args.ppszArgs = ppszArgs;
    args.pszPassword = request.szPassword;
    args.pszOutPath = szOutPath;

    // The runtime's own thread start gives the worker fresh per-thread state (its random seed).
    hThread = (HANDLE)_beginthreadex(NULL, 0, WorkerThreadProc, &args, 0, NULL);
    if (hThread == NULL) {
        DiscardProgressDialog();
        ShowGenericError(START_NO_WORKER);
        goto cleanup;
    }
    dwStartTick = GetTickCount();

    RunMessageLoop(hThread, dwStartTick);

    // The quit message comes only after the worker was seen to end; the wait costs nothing then
    // and keeps this frame, which the worker borrows, alive whatever happens.
    WaitForSingleObject(hThread, INFINITE);
    GetExitCodeThread(hThread, &dwExitCode);
    CloseHandle(hThread);
    hThread = NULL;

    if ((BuildResult)dwExitCode != BUILD_OK) {
        ReportFailure((BuildResult)dwExitCode, szOutPath, nArgs, ppszArgs);
        goto cleanup;
    }
    if (g_bEmptyDir != 0) {
        WCHAR szMessage[MESSAGE_UNITS];
        FormatMessageText(szMessage,
            L"暗号化圧縮 (zip 形式) フォルダーに、１つ以上の空のディレクトリを追加できませんでした。");
        ShowErrorMessage(NULL, szMessage);
    }
    SelectArchive(szOutPath);

cleanup:
    // The worker has ended on every path that reaches here; the password is of no further use.
    SecureZeroMemory(request.szPassword, sizeof(request.szPassword));
    if (ppszArgs != NULL) {
        LocalFree(ppszArgs);
    }
    return 0;
}
