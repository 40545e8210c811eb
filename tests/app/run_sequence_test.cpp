// Tests of the entry routine's helpers: the Explorer selection's retry guard, the message loop's
// last turn and the removal of a stray quit message. The entry file is compiled in here, with
// fakes of the subsystems it calls.
#include "shell/main.cpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Fakes of the neighbours; the selection fake behaves as each test sets it up.
static int g_nSelectCalls = 0;
static int g_nFailuresBeforeSuccess = 0;
static int g_nFailureKind = 0;   // 0: ExplorerAttemptFailed, 1: some other exception
static std::wstring g_strSelected;

void CaptureFocusedControl(void) {}
int SelectItemInExplorer(const WCHAR *pszArchiveName)
{
    g_nSelectCalls++;
    g_strSelected = pszArchiveName;
    if (g_nSelectCalls <= g_nFailuresBeforeSuccess) {
        if (g_nFailureKind == 0) {
            throw ExplorerAttemptFailed();
        }
        throw 42;
    }
    return 1;
}
INT_PTR CALLBACK PasswordDlgProc(HWND, UINT, WPARAM, LPARAM) { return 0; }
// A real box, as the dialog module shows it: the quit-message test needs one that waits.
void ShowErrorMessage(HWND hwndOwner, const WCHAR *pszText)
{
    MessageBoxW(hwndOwner, pszText, L"Kolbrin", MB_OK | MB_ICONERROR);
}
INT_PTR CALLBACK ProgressDlgProc(HWND, UINT, WPARAM, LPARAM) { return 0; }
static int g_nWorkerRuns = 0;
unsigned __stdcall WorkerThreadProc(void *)
{
    g_nWorkerRuns++;
    return 0;
}

namespace {

// Stands in for the progress dialog: records the progress it is sent and quits when destroyed.
std::vector<std::pair<std::wstring, LPARAM>> g_progress;

LRESULT CALLBACK FakeProgressProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg == WM_APP_PROGRESS) {
        g_progress.push_back({(const WCHAR *)wParam, lParam});
        return 1;
    }
    if (uMsg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, uMsg, wParam, lParam);
}

HWND MakeFakeProgress()
{
    WNDCLASSW wc;
    ZeroMemory(&wc, sizeof(wc));
    wc.lpfnWndProc = FakeProgressProc;
    wc.hInstance = GetModuleHandleW(NULL);
    wc.lpszClassName = L"KolbrinFakeProgress";
    RegisterClassW(&wc);
    return CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 10, 10, NULL, NULL, wc.hInstance, NULL);
}

unsigned __stdcall EndAtOnce(void *)
{
    return 0;
}

bool QuitWaiting()
{
    MSG msg;
    return PeekMessageW(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
}

// Presses OK in the first message box of this process, keeping its text.
std::wstring g_strBoxText;

unsigned __stdcall AnswerMessageBox(void *)
{
    for (int nTurn = 0; nTurn < 1500; nTurn++) {
        for (HWND hwnd = FindWindowExW(NULL, NULL, L"#32770", L"Kolbrin"); hwnd != NULL;
             hwnd = FindWindowExW(NULL, hwnd, L"#32770", L"Kolbrin")) {
            DWORD dwPid = 0;
            GetWindowThreadProcessId(hwnd, &dwPid);
            if (dwPid == GetCurrentProcessId() && IsWindowVisible(hwnd)) {
                WCHAR szText[256] = L"";
                GetDlgItemTextW(hwnd, 0xFFFF, szText, 256);
                g_strBoxText = szText;
                PostMessageW(hwnd, WM_COMMAND, IDOK, 0);
                return 1;
            }
        }
        Sleep(10);
    }
    return 0;
}

}  // namespace

// This test program has no dialog resources, so the password dialog cannot be shown: without a
// password no archive may be built, and the user hears why.
TEST(WinMain, WithoutThePasswordDialogNothingIsBuilt)
{
    g_nWorkerRuns = 0;
    g_strBoxText.clear();
    HANDLE hAnswer = (HANDLE)_beginthreadex(NULL, 0, AnswerMessageBox, NULL, 0, NULL);
    ASSERT_NE((HANDLE)NULL, hAnswer);

    EXPECT_EQ(0, WinMain(GetModuleHandleW(NULL), NULL, NULL, SW_SHOWNORMAL));

    WaitForSingleObject(hAnswer, 20000);
    DWORD dwAnswered = 0;
    GetExitCodeThread(hAnswer, &dwAnswered);
    CloseHandle(hAnswer);
    EXPECT_EQ(1u, dwAnswered);
    EXPECT_EQ(L"何らかのエラーが発生しました。(204)", g_strBoxText);
    EXPECT_EQ(0, g_nWorkerRuns);
    EXPECT_EQ((HWND)NULL, g_hwndProgress);
}

TEST(SelectArchive, RetriesFailedAttemptsAtMostFiveTimes)
{
    struct Case {
        const char *name;
        int nFailures;
        int nKind;
        int nExpectedCalls;
    } cases[] = {
        {"found at once", 0, 0, 1},
        {"found at the third attempt", 2, 0, 3},
        {"every attempt fails", 100, 0, 6},
        {"any other exception counts as a failed attempt", 100, 1, 6},
        {"the sixth attempt still counts", 5, 0, 6},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        g_nSelectCalls = 0;
        g_nFailuresBeforeSuccess = c.nFailures;
        g_nFailureKind = c.nKind;
        SelectArchive(L"C:\\data\\photos (2).zip");
        EXPECT_EQ(c.nExpectedCalls, g_nSelectCalls);
        EXPECT_EQ(L"photos (2).zip", g_strSelected);
    }
}

TEST(RunMessageLoop, EndsWithTheFinalProgressAndTheDialogGone)
{
    g_progress.clear();
    g_hwndProgress = MakeFakeProgress();
    ASSERT_NE((HWND)NULL, g_hwndProgress);
    HWND hwnd = g_hwndProgress;
    HANDLE hThread = (HANDLE)_beginthreadex(NULL, 0, EndAtOnce, NULL, 0, NULL);
    ASSERT_NE((HANDLE)NULL, hThread);

    RunMessageLoop(hThread, GetTickCount());

    EXPECT_EQ((HWND)NULL, g_hwndProgress);
    EXPECT_FALSE(IsWindow(hwnd));
    ASSERT_EQ(1u, g_progress.size());
    EXPECT_EQ(L"", g_progress[0].first);
    EXPECT_EQ(100, g_progress[0].second);
    // The loop consumed the quit message that the destruction posted.
    EXPECT_FALSE(QuitWaiting());
    CloseHandle(hThread);
}

TEST(DiscardProgressDialog, LeavesNoQuitMessageForTheNextMessageBox)
{
    g_hwndProgress = MakeFakeProgress();
    ASSERT_NE((HWND)NULL, g_hwndProgress);
    HWND hwnd = g_hwndProgress;

    DiscardProgressDialog();

    EXPECT_EQ((HWND)NULL, g_hwndProgress);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_FALSE(QuitWaiting());
}
