// The password dialog from the program's own template, driven through its controls under Wine.
#include "shell/password_dialog.h"

#include "dialog_harness.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const WCHAR TEXT_EMPTY[] = L"パスワードは１文字以上入力して下さい。";
const WCHAR TEXT_TOO_LONG[] = L"パスワードは半角換算32文字以下で入力して下さい。";
const WCHAR TEXT_MISMATCH[] = L"入力が一致していません。";

struct ShellCall {
    HWND hwnd;
    std::wstring verb;
    std::wstring file;
    bool bParameters;
    bool bDirectory;
    INT nShow;
};

std::vector<ShellCall> g_shellCalls;

HINSTANCE WINAPI CaptureShellExecute(HWND hwnd, LPCWSTR pszVerb, LPCWSTR pszFile, LPCWSTR pszParameters,
                                     LPCWSTR pszDirectory, INT nShow)
{
    g_shellCalls.push_back({ hwnd, pszVerb ? pszVerb : L"(null)", pszFile ? pszFile : L"(null)",
                             pszParameters != NULL, pszDirectory != NULL, nShow });
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(42));
}

class PasswordDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX icc = { sizeof(icc), ICC_LINK_CLASS };
        InitCommonControlsEx(&icc);
        g_shellCalls.clear();
        m_saved = g_ShellSeams;
        g_ShellSeams.pfnShellExecuteW = CaptureShellExecute;
        ZeroMemory(&m_request, sizeof(m_request));
        m_request.nArgs = 2;
    }
    void TearDown() override { g_ShellSeams = m_saved; }

    DialogRun Run(const std::function<void(HWND)> &script)
    {
        return RunModalDialog(IDD_PASSWORD, PasswordDlgProc, reinterpret_cast<LPARAM>(&m_request), script);
    }

    ShellSeams m_saved;
    PasswordRequest m_request;
};

std::wstring Repeat(const std::wstring &unit, int nCount)
{
    std::wstring text;
    for (int i = 0; i < nCount; ++i) {
        text += unit;
    }
    return text;
}

bool RequestUntouched(const PasswordRequest &request, int nArgs = 2)
{
    for (char ch : request.szPassword) {
        if (ch != 0) {
            return false;
        }
    }
    return request.nArgs == nArgs;
}

// Each refused entry: the message, shown once, and the dialog as it was.
struct RefusedCase {
    const char *pszName;
    std::wstring password;
    std::wstring confirm;
    const WCHAR *pszMessage;
};

TEST_F(PasswordDialog, RefusedEntriesShowTheirMessageAndKeepTheDialogAsItWas)
{
    ASSERT_EQ(932u, GetACP()) << "the double-byte cases need the Japanese code page";
    const std::wstring kana = L"あ";   // two bytes in code page 932
    const RefusedCase cases[] = {
        { "empty password", L"", L"", TEXT_EMPTY },
        { "empty password, confirmation typed", L"", L"abc", TEXT_EMPTY },
        { "33 single-byte characters", Repeat(L"a", 33), Repeat(L"a", 33), TEXT_TOO_LONG },
        { "17 double-byte characters", Repeat(kana, 17), Repeat(kana, 17), TEXT_TOO_LONG },
        { "confirmation differs", L"secret", L"secreT", TEXT_MISMATCH },
        { "confirmation is a prefix", L"secret", L"secre", TEXT_MISMATCH },
        { "confirmation empty", L"secret", L"", TEXT_MISMATCH },
    };
    for (const RefusedCase &c : cases) {
        SCOPED_TRACE(c.pszName);
        ZeroMemory(&m_request, sizeof(m_request));
        m_request.nArgs = 2;
        bool bStillOpen = false;
        std::wstring passwordAfter, confirmAfter;
        DialogRun run = Run([&](HWND hwnd) {
            SetDlgItemTextW(hwnd, IDC_PASSWORD, c.password.c_str());
            SetDlgItemTextW(hwnd, IDC_CONFIRM, c.confirm.c_str());
            ClickButton(hwnd, IDOK);
            bStillOpen = IsWindowVisible(hwnd) != FALSE;
            passwordAfter = ItemText(hwnd, IDC_PASSWORD);
            confirmAfter = ItemText(hwnd, IDC_CONFIRM);
            ClickButton(hwnd, IDCANCEL);
        });
        ASSERT_TRUE(run.bScriptRan);
        EXPECT_FALSE(run.bForcedEnd);
        ASSERT_EQ(1u, run.boxes.size());
        EXPECT_EQ(c.pszMessage, run.boxes[0].text);
        EXPECT_EQ(L"Kolbrin", run.boxes[0].caption);
        EXPECT_TRUE(run.boxes[0].bErrorIcon);
        EXPECT_NE(static_cast<HWND>(NULL), run.boxes[0].hwndOwner);
        EXPECT_TRUE(run.boxes[0].bOwnerStillShown);
        EXPECT_TRUE(bStillOpen);
        EXPECT_EQ(c.password, passwordAfter);
        EXPECT_EQ(c.confirm, confirmAfter);
        EXPECT_EQ(2, run.nResult);
        EXPECT_TRUE(RequestUntouched(m_request));
    }
}

TEST_F(PasswordDialog, MessageBoxIsOwnedByTheDialog)
{
    HWND hwndDialog = NULL;
    DialogRun run = Run([&](HWND hwnd) {
        hwndDialog = hwnd;
        ClickButton(hwnd, IDOK);
        ClickButton(hwnd, IDCANCEL);
    });
    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_EQ(hwndDialog, run.boxes[0].hwndOwner);
}

struct AcceptedCase {
    const char *pszName;
    std::wstring password;
    std::string bytes;
};

TEST_F(PasswordDialog, AcceptedPasswordIsStoredAsAnsiBytesAndEndsWithOne)
{
    ASSERT_EQ(932u, GetACP());
    std::string kana16;
    for (int i = 0; i < 16; ++i) {
        kana16 += "\x82\xa0";   // あ in code page 932
    }
    const AcceptedCase cases[] = {
        { "one character", L"x", "x" },
        { "32 single-byte characters", Repeat(L"b", 32), std::string(32, 'b') },
        { "16 double-byte characters", Repeat(L"あ", 16), kana16 },
        { "mixed widths", L"日本abc", "\x93\xfa\x96\x7b" "abc" },
    };
    for (const AcceptedCase &c : cases) {
        SCOPED_TRACE(c.pszName);
        ZeroMemory(&m_request, sizeof(m_request));
        m_request.nArgs = 2;
        DialogRun run = Run([&](HWND hwnd) {
            SetDlgItemTextW(hwnd, IDC_PASSWORD, c.password.c_str());
            SetDlgItemTextW(hwnd, IDC_CONFIRM, c.password.c_str());
            ClickButton(hwnd, IDOK);
        });
        EXPECT_FALSE(run.bForcedEnd);
        EXPECT_TRUE(run.boxes.empty());
        EXPECT_EQ(1, run.nResult);
        EXPECT_EQ(c.bytes, std::string(m_request.szPassword));
        // nothing beyond the terminator
        for (size_t i = c.bytes.size(); i < sizeof(m_request.szPassword); ++i) {
            EXPECT_EQ(0, m_request.szPassword[i]) << i;
        }
        EXPECT_EQ(2, m_request.nArgs);
    }
}

TEST_F(PasswordDialog, CancelAndEscapeEndWithTwoAndLeaveTheRequest)
{
    struct {
        const char *pszName;
        std::function<void(HWND)> end;
    } cases[] = {
        { "Cancel button", [](HWND hwnd) { ClickButton(hwnd, IDCANCEL); } },
        { "Escape key", [](HWND hwnd) {
              SetFocus(GetDlgItem(hwnd, IDC_PASSWORD));
              PostMessageW(GetDlgItem(hwnd, IDC_PASSWORD), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
          } },
        { "close box", [](HWND hwnd) { PostMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0); } },
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.pszName);
        ZeroMemory(&m_request, sizeof(m_request));
        m_request.nArgs = 2;
        DialogRun run = Run([&](HWND hwnd) {
            SetDlgItemTextW(hwnd, IDC_PASSWORD, L"typed");
            SetDlgItemTextW(hwnd, IDC_CONFIRM, L"typed");
            c.end(hwnd);
        });
        EXPECT_FALSE(run.bForcedEnd);
        EXPECT_TRUE(run.boxes.empty());
        EXPECT_EQ(2, run.nResult);
        EXPECT_TRUE(RequestUntouched(m_request));
    }
}

TEST_F(PasswordDialog, WithoutItemsOnlyLinksAndCancelAreUsable)
{
    m_request.nArgs = 1;
    struct State {
        int nId;
        BOOL bEnabled;
    };
    std::vector<State> states;
    DialogRun run = Run([&](HWND hwnd) {
        for (int nId : { IDC_PASSWORD, IDC_CONFIRM, IDC_SHOWPASSWORD, IDOK, IDCANCEL, IDC_LINK_HOME,
                         IDC_LINK_UPDATE, IDC_LINK_QA }) {
            states.push_back({ nId, IsWindowEnabled(GetDlgItem(hwnd, nId)) });
        }
        NMHDR header = { GetDlgItem(hwnd, IDC_LINK_QA), static_cast<UINT_PTR>(IDC_LINK_QA), static_cast<UINT>(NM_CLICK) };
        SendMessageW(hwnd, WM_NOTIFY, IDC_LINK_QA, reinterpret_cast<LPARAM>(&header));
        ClickButton(hwnd, IDCANCEL);
    });
    ASSERT_EQ(8u, states.size());
    for (const State &s : states) {
        bool bShouldBeEnabled = s.nId == IDCANCEL || s.nId == IDC_LINK_HOME || s.nId == IDC_LINK_UPDATE || s.nId == IDC_LINK_QA;
        EXPECT_EQ(bShouldBeEnabled, s.bEnabled != FALSE) << "control " << s.nId;
    }
    EXPECT_EQ(2, run.nResult);
    EXPECT_FALSE(run.bForcedEnd);
    ASSERT_EQ(1u, g_shellCalls.size());
    EXPECT_EQ(L"http://" KOLBRIN_SITE_HOST L"/kolbrin/qa.html", g_shellCalls[0].file);
    EXPECT_TRUE(RequestUntouched(m_request, 1));
}

TEST_F(PasswordDialog, ShowPasswordClearsAndRestoresTheStartingMaskOnBothEdits)
{
    WCHAR chAtStart = 0;
    std::vector<std::pair<LRESULT, LRESULT>> masks;   // password, confirmation after each click
    DialogRun run = Run([&](HWND hwnd) {
        chAtStart = g_chPassword;
        for (int i = 0; i < 3; ++i) {
            ClickButton(hwnd, IDC_SHOWPASSWORD);
            masks.emplace_back(SendDlgItemMessageW(hwnd, IDC_PASSWORD, EM_GETPASSWORDCHAR, 0, 0),
                               SendDlgItemMessageW(hwnd, IDC_CONFIRM, EM_GETPASSWORDCHAR, 0, 0));
        }
        ClickButton(hwnd, IDCANCEL);
    });
    EXPECT_NE(0, chAtStart);
    ASSERT_EQ(3u, masks.size());
    EXPECT_EQ(std::make_pair(LRESULT(0), LRESULT(0)), masks[0]);
    EXPECT_EQ(std::make_pair(LRESULT(chAtStart), LRESULT(chAtStart)), masks[1]);
    EXPECT_EQ(std::make_pair(LRESULT(0), LRESULT(0)), masks[2]);
}

TEST_F(PasswordDialog, MaskRestoredIsTheOneTheEditReportedNotAFixedAsterisk)
{
    // A mask other than the default, set before the box is first used, shows what is restored.
    DialogRun run = Run([&](HWND hwnd) {
        EXPECT_EQ(static_cast<LRESULT>(g_chPassword), SendDlgItemMessageW(hwnd, IDC_PASSWORD, EM_GETPASSWORDCHAR, 0, 0));
        g_chPassword = L'#';
        ClickButton(hwnd, IDC_SHOWPASSWORD);
        ClickButton(hwnd, IDC_SHOWPASSWORD);
        EXPECT_EQ(LRESULT(L'#'), SendDlgItemMessageW(hwnd, IDC_PASSWORD, EM_GETPASSWORDCHAR, 0, 0));
        EXPECT_EQ(LRESULT(L'#'), SendDlgItemMessageW(hwnd, IDC_CONFIRM, EM_GETPASSWORDCHAR, 0, 0));
        ClickButton(hwnd, IDCANCEL);
    });
    EXPECT_EQ(2, run.nResult);
}

TEST_F(PasswordDialog, LinkNotificationsOpenTheirPagesOnlyForClickAndReturn)
{
    const std::wstring site = L"http://" KOLBRIN_SITE_HOST;
    struct LinkCase {
        int nId;
        UINT nCode;
        const WCHAR *pszPage;   // NULL: nothing opens
    };
    const LinkCase cases[] = {
        { IDC_LINK_HOME, NM_CLICK, L"/kolbrin/" },
        { IDC_LINK_HOME, NM_RETURN, L"/kolbrin/" },
        { IDC_LINK_UPDATE, NM_CLICK, L"/kolbrin/download.html" },
        { IDC_LINK_UPDATE, NM_RETURN, L"/kolbrin/download.html" },
        { IDC_LINK_QA, NM_CLICK, L"/kolbrin/qa.html" },
        { IDC_LINK_QA, NM_RETURN, L"/kolbrin/qa.html" },
        { IDC_LINK_HOME, NM_DBLCLK, NULL },
        { IDC_LINK_QA, NM_RCLICK, NULL },
        { IDC_LINK_UPDATE, NM_SETFOCUS, NULL },
        { IDC_LINK_UPDATE, NM_KILLFOCUS, NULL },
        { IDC_PASSWORD, NM_CLICK, NULL },
        { IDOK, NM_RETURN, NULL },
    };
    DialogRun run = Run([&](HWND hwnd) {
        for (const LinkCase &c : cases) {
            SCOPED_TRACE(testing::Message() << "control " << c.nId << " code " << static_cast<int>(c.nCode));
            g_shellCalls.clear();
            NMHDR header = { GetDlgItem(hwnd, c.nId), static_cast<UINT_PTR>(c.nId), c.nCode };
            LRESULT lResult = SendMessageW(hwnd, WM_NOTIFY, c.nId, reinterpret_cast<LPARAM>(&header));
            EXPECT_EQ(0, lResult);
            EXPECT_TRUE(IsWindowVisible(hwnd));
            if (c.pszPage == NULL) {
                EXPECT_TRUE(g_shellCalls.empty());
                continue;
            }
            ASSERT_EQ(1u, g_shellCalls.size());
            EXPECT_EQ(site + c.pszPage, g_shellCalls[0].file);
            EXPECT_EQ(L"open", g_shellCalls[0].verb);
            EXPECT_EQ(static_cast<HWND>(NULL), g_shellCalls[0].hwnd);
            EXPECT_FALSE(g_shellCalls[0].bParameters);
            EXPECT_FALSE(g_shellCalls[0].bDirectory);
            EXPECT_EQ(SW_SHOW, g_shellCalls[0].nShow);
        }
        ClickButton(hwnd, IDCANCEL);
    });
    EXPECT_EQ(2, run.nResult);
}

TEST_F(PasswordDialog, MouseClickAndEnterOnARealLinkOpenItsPage)
{
    DialogRun run = Run([&](HWND hwnd) {
        HWND hwndLink = GetDlgItem(hwnd, IDC_LINK_UPDATE);
        ASSERT_NE(static_cast<HWND>(NULL), hwndLink);
        WCHAR szClass[32] = L"";
        GetClassNameW(hwndLink, szClass, 32);
        EXPECT_EQ(0, lstrcmpiW(L"SysLink", szClass));
        SendMessageW(hwndLink, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
        SendMessageW(hwndLink, WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
        PumpMessages(50);
        HWND hwndQa = GetDlgItem(hwnd, IDC_LINK_QA);
        SetFocus(hwndQa);
        SendMessageW(hwndQa, WM_KEYDOWN, VK_RETURN, 0x001C0001);
        PumpMessages(50);
        ClickButton(hwnd, IDCANCEL);
    });
    ASSERT_EQ(2u, g_shellCalls.size());
    EXPECT_EQ(L"http://" KOLBRIN_SITE_HOST L"/kolbrin/download.html", g_shellCalls[0].file);
    EXPECT_EQ(L"http://" KOLBRIN_SITE_HOST L"/kolbrin/qa.html", g_shellCalls[1].file);
}

TEST_F(PasswordDialog, OpensCentredOnTheDesktop)
{
    RECT rcDialog = {};
    DialogRun run = Run([&](HWND hwnd) {
        GetWindowRect(hwnd, &rcDialog);
        ClickButton(hwnd, IDCANCEL);
    });
    RECT rcDesktop;
    GetWindowRect(GetDesktopWindow(), &rcDesktop);
    EXPECT_EQ((rcDesktop.right - (rcDialog.right - rcDialog.left)) / 2, rcDialog.left);
    EXPECT_EQ((rcDesktop.bottom - (rcDialog.bottom - rcDialog.top)) / 2, rcDialog.top);
}

// CenterWindow against the desktop of the test display, with owners placed on and off it.
class CenterWindowTest : public ::testing::Test {
protected:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
    {
        return DefWindowProcW(hwnd, uMsg, wParam, lParam);
    }
    void SetUp() override
    {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(NULL);
        wc.lpszClassName = L"KolbrinCentreTest";
        RegisterClassW(&wc);
        GetWindowRect(GetDesktopWindow(), &m_rcDesktop);
    }
    HWND Popup(HWND hwndOwner, int x, int y, int cx, int cy)
    {
        HWND hwnd = CreateWindowExW(0, L"KolbrinCentreTest", L"", WS_POPUP, x, y, cx, cy, hwndOwner, NULL,
                                    GetModuleHandleW(NULL), NULL);
        m_windows.push_back(hwnd);
        return hwnd;
    }
    void TearDown() override
    {
        for (auto it = m_windows.rbegin(); it != m_windows.rend(); ++it) {
            DestroyWindow(*it);
        }
    }
    RECT m_rcDesktop;
    std::vector<HWND> m_windows;
};

TEST_F(CenterWindowTest, CentresThenPullsBackRightBottomLeftTop)
{
    const int W = m_rcDesktop.right - m_rcDesktop.left;
    const int H = m_rcDesktop.bottom - m_rcDesktop.top;
    ASSERT_GT(W, 400);
    ASSERT_GT(H, 400);
    struct Case {
        const char *pszName;
        bool bOwner;
        RECT rcOwner;      // x, y, width, height
        SIZE size;
        POINT expected;
    };
    const Case cases[] = {
        { "desktop, odd sizes truncate", false, {}, { 201, 101 }, { (W - 201) / 2, (H - 101) / 2 } },
        { "inside its owner", true, { 100, 100, 400, 300 }, { 200, 100 }, { 200, 200 } },
        { "owner off the right and bottom", true, { W - 100, H - 80, 400, 300 }, { 200, 100 }, { W - 200, H - 100 } },
        { "owner off the left and top", true, { -350, -280, 400, 300 }, { 200, 100 }, { 0, 0 } },
        { "larger than the desktop", false, {}, { W + 300, H + 200 }, { 0, 0 } },
        { "wider only, owner at the right", true, { W - 100, 100, 400, 300 }, { W + 40, 100 }, { 0, 200 } },
        { "negative halving truncates toward zero", true, { 500, 500, 100, 100 }, { 101, 103 }, { 500, 499 } },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.pszName);
        HWND hwndOwner = c.bOwner ? Popup(NULL, c.rcOwner.left, c.rcOwner.top, c.rcOwner.right, c.rcOwner.bottom) : NULL;
        HWND hwnd = Popup(hwndOwner, 3, 5, c.size.cx, c.size.cy);
        ASSERT_NE(static_cast<HWND>(NULL), hwnd);
        CenterWindow(hwnd);
        RECT rc;
        GetWindowRect(hwnd, &rc);
        EXPECT_EQ(c.expected.x, rc.left);
        EXPECT_EQ(c.expected.y, rc.top);
        EXPECT_EQ(c.size.cx, rc.right - rc.left);
        EXPECT_EQ(c.size.cy, rc.bottom - rc.top);
    }
}

TEST(VersionTest, ReportsXpOrLaterOnThisSystem)
{
    EXPECT_TRUE(IsXpOrLater());
}

} // namespace
