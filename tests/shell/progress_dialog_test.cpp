// The progress dialog from the program's own template, created the way the run creates it.
#include "shell/progress_dialog.h"

#include "dialog_harness.h"
#include "resource.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <process.h>

namespace {

int DrainQuitMessages()
{
    int nQuits = 0;
    MSG msg;
    while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            ++nQuits;
        } else {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return nQuits;
}

class ProgressDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX icc = { sizeof(icc), ICC_PROGRESS_CLASS };
        InitCommonControlsEx(&icc);
        DrainQuitMessages();
        g_bCancel = 0;
        m_hwnd = CreateDialogParamW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDD_PROGRESS), NULL, ProgressDlgProc, 0);
        ASSERT_NE(static_cast<HWND>(NULL), m_hwnd);
    }
    void TearDown() override
    {
        if (m_hwnd != NULL && IsWindow(m_hwnd)) {
            DestroyWindow(m_hwnd);
        }
        DrainQuitMessages();
        g_bCancel = 0;
    }
    LRESULT Progress(const WCHAR *pszText, int nPosition)
    {
        return SendMessageW(m_hwnd, WM_APP_PROGRESS, reinterpret_cast<WPARAM>(pszText), nPosition);
    }
    LRESULT BarPosition() { return SendDlgItemMessageW(m_hwnd, IDC_PROGRESSBAR, PBM_GETPOS, 0, 0); }

    HWND m_hwnd = NULL;
};

TEST_F(ProgressDialog, IsCreatedHiddenWithThePlaceholderAlreadyCleared)
{
    EXPECT_FALSE(IsWindowVisible(m_hwnd));
    EXPECT_EQ(L"", ItemText(m_hwnd, IDC_STATUS));
    EXPECT_EQ(0, SendDlgItemMessageW(m_hwnd, IDC_PROGRESSBAR, PBM_GETRANGE, TRUE, 0));
    EXPECT_EQ(100, SendDlgItemMessageW(m_hwnd, IDC_PROGRESSBAR, PBM_GETRANGE, FALSE, 0));
    EXPECT_EQ(0, BarPosition());
    EXPECT_EQ(L"暗号化圧縮しています...", WindowText(m_hwnd));
}

TEST_F(ProgressDialog, IsCentredOnTheDesktop)
{
    RECT rcDialog, rcDesktop;
    GetWindowRect(m_hwnd, &rcDialog);
    GetWindowRect(GetDesktopWindow(), &rcDesktop);
    EXPECT_EQ((rcDesktop.right - (rcDialog.right - rcDialog.left)) / 2, rcDialog.left);
    EXPECT_EQ((rcDesktop.bottom - (rcDialog.bottom - rcDialog.top)) / 2, rcDialog.top);
}

TEST_F(ProgressDialog, ProgressMessageSetsTextAndBarAndAnswersOne)
{
    struct Step {
        const WCHAR *pszText;
        int nPosition;
    };
    const Step steps[] = {
        { L"report.txt", 0 },
        { L"写真 (2).jpg", 41 },
        { L"", 57 },            // an empty text clears the line and still moves the bar
        { L"last.bin", 99 },
        { L"", 100 },
    };
    for (const Step &s : steps) {
        SCOPED_TRACE(testing::Message() << s.nPosition);
        WCHAR szReused[64];
        lstrcpynW(szReused, s.pszText, 64);
        EXPECT_EQ(1, Progress(szReused, s.nPosition));
        lstrcpyW(szReused, L"changed after the call");
        EXPECT_EQ(std::wstring(s.pszText), ItemText(m_hwnd, IDC_STATUS));
        EXPECT_EQ(s.nPosition, BarPosition());
    }
    EXPECT_FALSE(IsWindowVisible(m_hwnd));
}

struct RangeSender {
    HWND hwndBar;
    LRESULT lResult;
};

unsigned __stdcall SendRangeFromWorker(void *pArg)
{
    RangeSender *pSender = static_cast<RangeSender *>(pArg);
    pSender->lResult = SendMessageW(pSender->hwndBar, PBM_SETRANGE32, 0, 7);
    return 0;
}

TEST_F(ProgressDialog, RangeAndProgressFromAnotherThreadAreHandledWhileTheOwnerPumps)
{
    RangeSender sender = { GetDlgItem(m_hwnd, IDC_PROGRESSBAR), -1 };
    HANDLE hThread = reinterpret_cast<HANDLE>(_beginthreadex(NULL, 0, SendRangeFromWorker, &sender, 0, NULL));
    ASSERT_NE(static_cast<HANDLE>(NULL), hThread);
    DWORD dwStart = GetTickCount();
    while (WaitForSingleObject(hThread, 0) != WAIT_OBJECT_0 && GetTickCount() - dwStart < 10000) {
        PumpMessages(10);
    }
    ASSERT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(hThread, 0));
    CloseHandle(hThread);
    EXPECT_EQ(0, SendDlgItemMessageW(m_hwnd, IDC_PROGRESSBAR, PBM_GETRANGE, TRUE, 0));
    EXPECT_EQ(7, SendDlgItemMessageW(m_hwnd, IDC_PROGRESSBAR, PBM_GETRANGE, FALSE, 0));
    EXPECT_EQ(1, Progress(L"x", 5));
    EXPECT_EQ(5, BarPosition());
}

TEST_F(ProgressDialog, CancelOnlyRaisesTheFlagAndDisablesTheButtonAtOnce)
{
    ShowWindow(m_hwnd, SW_SHOW);
    EXPECT_EQ(1, Progress(L"a.txt", 3));
    HWND hwndCancel = GetDlgItem(m_hwnd, IDCANCEL);
    ASSERT_TRUE(IsWindowEnabled(hwndCancel));
    ClickButton(m_hwnd, IDCANCEL);
    EXPECT_EQ(1, g_bCancel);
    EXPECT_FALSE(IsWindowEnabled(hwndCancel));
    // nothing else: still there, still shown, text and bar as they were, no quit posted
    EXPECT_TRUE(IsWindow(m_hwnd));
    EXPECT_TRUE(IsWindowVisible(m_hwnd));
    EXPECT_EQ(L"a.txt", ItemText(m_hwnd, IDC_STATUS));
    EXPECT_EQ(3, BarPosition());
    EXPECT_EQ(0, DrainQuitMessages());
    // progress keeps arriving after Cancel
    EXPECT_EQ(1, Progress(L"b.txt", 4));
    EXPECT_EQ(L"b.txt", ItemText(m_hwnd, IDC_STATUS));
    EXPECT_EQ(4, BarPosition());
}

TEST_F(ProgressDialog, OtherCommandsAreIgnored)
{
    SendMessageW(m_hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    SendMessageW(m_hwnd, WM_COMMAND, MAKEWPARAM(IDC_STATUS, 0), 0);
    EXPECT_EQ(0, g_bCancel);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(m_hwnd, IDCANCEL)));
    EXPECT_TRUE(IsWindow(m_hwnd));
    // the notification code in the high half does not matter for Cancel
    SendMessageW(m_hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0x1234), 0);
    EXPECT_EQ(1, g_bCancel);
}

TEST_F(ProgressDialog, DestructionPostsExactlyOneQuitWithCodeZero)
{
    ASSERT_EQ(0, DrainQuitMessages());
    DestroyWindow(m_hwnd);
    m_hwnd = NULL;
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(0u, msg.wParam);
    EXPECT_FALSE(PeekMessageW(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE));
}

} // namespace
