// Remembers the focused Explorer control at start and selects the new archive in it.
#pragma once

#include "common/common.h"
#include "explorer/uia_client.h"

// Thrown out of SelectItemInExplorer when an attempt failed and may be retried.
struct ExplorerAttemptFailed {};

void CaptureFocusedControl(void);
ATOM RegisterProbeClass(HINSTANCE hInstance);
// 1 when the name was found (or the focus was on the navigation tree), else 0;
// throws ExplorerAttemptFailed for a failed attempt.
int SelectItemInExplorer(const WCHAR *pszArchiveName);
// The two list cases: each takes over pElement and borrows pWalker; 1 when the name was
// found, else 0; ExplorerAttemptFailed when the walk ran out of children.
int SelectInDesktopList(IUIAutomationTreeWalker *pWalker, IUIAutomationElement *pElement,
                        const WCHAR *pszArchiveName);
int SelectInItemsView(IUIAutomationTreeWalker *pWalker, IUIAutomationElement *pElement,
                      const WCHAR *pszArchiveName);

// The platform calls that reach the real desktop, replaceable by tests. Production holds the
// system's own functions.
struct ExplorerPlatform {
    HRESULT(WINAPI *pfnCoCreateInstance)(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                                         LPVOID *ppv);
    HWND(WINAPI *pfnWindowFromPoint)(POINT pt);
    int(WINAPI *pfnGetSystemMetrics)(int nIndex);
    void(WINAPI *pfnMouseEvent)(DWORD dwFlags, DWORD dx, DWORD dy, DWORD dwData, ULONG_PTR dwExtraInfo);
};
extern ExplorerPlatform g_ExplorerPlatform;
