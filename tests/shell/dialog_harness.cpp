// Drives modal dialogs for the tests: a CBT hook notes each dialog window as it is created, and
// a thread timer, which the modal loops dispatch, acts on it once it is up.
#include "dialog_harness.h"

#include <utility>

namespace {

struct HarnessState {
    DialogRun *pRun = nullptr;
    const std::function<void(HWND)> *pScript = nullptr;
    HWND hwndDialog = NULL;
    std::vector<std::pair<UINT_PTR, HWND>> pending;   // timer id -> window to look at
};

HarnessState g_state;

bool IsDialogClass(HWND hwnd)
{
    WCHAR szClass[16] = L"";
    GetClassNameW(hwnd, szClass, 16);
    return lstrcmpW(szClass, L"#32770") == 0;
}

BOOL CALLBACK InspectBoxChild(HWND hwndChild, LPARAM lParam)
{
    CapturedMessageBox *pBox = reinterpret_cast<CapturedMessageBox *>(lParam);
    WCHAR szClass[16] = L"";
    GetClassNameW(hwndChild, szClass, 16);
    if (lstrcmpiW(szClass, L"Static") != 0) {
        return TRUE;
    }
    LONG_PTR style = GetWindowLongPtrW(hwndChild, GWL_STYLE);
    if ((style & SS_TYPEMASK) == SS_ICON) {
        HICON hIcon = reinterpret_cast<HICON>(SendMessageW(hwndChild, STM_GETICON, 0, 0));
        pBox->bErrorIcon = hIcon != NULL && hIcon == LoadIconW(NULL, IDI_ERROR);
    } else {
        std::wstring text = WindowText(hwndChild);
        if (!text.empty()) {
            pBox->text = text;
        }
    }
    return TRUE;
}

void CaptureAndClose(HWND hwndBox)
{
    CapturedMessageBox box{};
    box.caption = WindowText(hwndBox);
    box.hwndOwner = GetWindow(hwndBox, GW_OWNER);
    box.bOwnerStillShown = g_state.hwndDialog != NULL && IsWindowVisible(g_state.hwndDialog);
    EnumChildWindows(hwndBox, InspectBoxChild, reinterpret_cast<LPARAM>(&box));
    g_state.pRun->boxes.push_back(box);
    PostMessageW(hwndBox, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(hwndBox, IDOK)));
}

void CALLBACK OnWindowReady(HWND, UINT, UINT_PTR idEvent, DWORD)
{
    KillTimer(NULL, idEvent);
    HWND hwnd = NULL;
    for (auto it = g_state.pending.begin(); it != g_state.pending.end(); ++it) {
        if (it->first == idEvent) {
            hwnd = it->second;
            g_state.pending.erase(it);
            break;
        }
    }
    if (hwnd == NULL || !IsWindow(hwnd) || g_state.pRun == nullptr) {
        return;
    }
    if (hwnd == g_state.hwndDialog) {
        // A modal dialog is shown once its queue first runs empty; the script sees it on screen.
        if (!IsWindowVisible(hwnd)) {
            g_state.pending.emplace_back(SetTimer(NULL, 0, 10, OnWindowReady), hwnd);
            return;
        }
        g_state.pRun->bScriptRan = true;
        (*g_state.pScript)(hwnd);
    } else {
        CaptureAndClose(hwnd);
    }
}

void CALLBACK OnSafetyNet(HWND, UINT, UINT_PTR idEvent, DWORD)
{
    KillTimer(NULL, idEvent);
    if (g_state.hwndDialog != NULL && IsWindow(g_state.hwndDialog) && IsWindowVisible(g_state.hwndDialog)) {
        g_state.pRun->bForcedEnd = true;
        EndDialog(g_state.hwndDialog, -100);
    }
}

LRESULT CALLBACK CbtHook(int nCode, WPARAM wParam, LPARAM lParam)
{
    if (nCode == HCBT_CREATEWND && g_state.pRun != nullptr) {
        HWND hwnd = reinterpret_cast<HWND>(wParam);
        if (IsDialogClass(hwnd)) {
            // The first dialog is the one under test; any later one is a message box.
            if (g_state.hwndDialog == NULL) {
                g_state.hwndDialog = hwnd;
            }
            UINT_PTR id = SetTimer(NULL, 0, 0, OnWindowReady);
            g_state.pending.emplace_back(id, hwnd);
        }
    }
    return CallNextHookEx(NULL, nCode, wParam, lParam);
}

} // namespace

DialogRun RunModalDialog(int nTemplate, DLGPROC dlgProc, LPARAM lParam, const std::function<void(HWND)> &script)
{
    DialogRun run{};
    g_state = HarnessState{};
    g_state.pRun = &run;
    g_state.pScript = &script;
    HHOOK hHook = SetWindowsHookExW(WH_CBT, CbtHook, NULL, GetCurrentThreadId());
    UINT_PTR idSafety = SetTimer(NULL, 0, 15000, OnSafetyNet);
    run.nResult = DialogBoxParamW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(nTemplate), NULL, dlgProc, lParam);
    KillTimer(NULL, idSafety);
    for (auto &entry : g_state.pending) {
        KillTimer(NULL, entry.first);
    }
    UnhookWindowsHookEx(hHook);
    g_state = HarnessState{};
    return run;
}

void PumpMessages(DWORD nMilliseconds, HWND hwndDialog)
{
    DWORD dwStart = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                // Leave it for whoever looks for it.
                PostQuitMessage(static_cast<int>(msg.wParam));
                return;
            }
            if (hwndDialog == NULL || !IsDialogMessageW(hwndDialog, &msg)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
        Sleep(5);
    } while (GetTickCount() - dwStart < nMilliseconds);
}

void ClickButton(HWND hwndDialog, int nId)
{
    SendMessageW(GetDlgItem(hwndDialog, nId), BM_CLICK, 0, 0);
}

std::wstring WindowText(HWND hwnd)
{
    WCHAR szText[512] = L"";
    GetWindowTextW(hwnd, szText, 512);
    return szText;
}

std::wstring ItemText(HWND hwndDialog, int nId)
{
    return WindowText(GetDlgItem(hwndDialog, nId));
}
