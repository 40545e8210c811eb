// Captures the focused control of the foreground window at start, and later finds the new
// archive among that control's UI Automation children, selects it and clicks it.
#include "explorer/explorer_select.h"

#include <exception>

#include "diag/diag_log.h"

ExplorerPlatform g_ExplorerPlatform = {CoCreateInstance, WindowFromPoint, GetSystemMetrics, mouse_event};

static const WCHAR PROBE_CLASS_NAME[] = L"my_uiauto_MainWClass";
static const WCHAR PROBE_WINDOW_TITLE[] = L"my_uiauto_MainWindow";
static const WCHAR NAME_DESKTOP[] = L"\x30C7\x30B9\x30AF\x30C8\x30C3\x30D7";   // デスクトップ
static const WCHAR NAME_ITEMS_VIEW[] = L"\x9805\x76EE\x30D3\x30E5\x30FC";     // 項目ビュー
static const WCHAR NAME_NAVIGATION_TREE[] = L"Namespace Tree Control";
static const WCHAR NAME_NAME_COLUMN[] = L"\x540D\x524D";                       // 名前

// ---------------------------------------------------------------------------------------
// Guard against structured faults. An access violation inside a platform call must end the
// attempt, not the process. A vectored handler sees the fault first; when this thread has
// a guard active it resumes the thread in GuardResume on a stack position above the faulting
// frames, which jumps back to RunGuarded with __builtin_longjmp (no unwinding: whatever the
// abandoned frames held is given back from the attempt's record instead).

struct FaultGuard {
    void *apJmp[5];          // __builtin_setjmp buffer
    FaultGuard *pOuter;      // the guard this one is nested in, on the same thread
    void *pResumeStack;      // a stack address below RunGuarded's frame, above the guarded work
    volatile LONG bFaulted;
    volatile DWORD dwFaultCode;
};

typedef void (*GuardedProc)(void *pContext);

static INIT_ONCE s_guardInit = INIT_ONCE_STATIC_INIT;
static DWORD s_dwGuardSlot = TLS_OUT_OF_INDEXES;

static BOOL CALLBACK InitGuardSlot(PINIT_ONCE, PVOID, PVOID *)
{
    s_dwGuardSlot = TlsAlloc();
    return TRUE;
}

static __attribute__((noinline, noreturn)) void GuardResume(void)
{
    FaultGuard *pGuard = static_cast<FaultGuard *>(TlsGetValue(s_dwGuardSlot));
    __builtin_longjmp(pGuard->apJmp, 1);
}

static LONG CALLBACK GuardFaultHandler(EXCEPTION_POINTERS *pInfo)
{
    if (s_dwGuardSlot == TLS_OUT_OF_INDEXES) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    FaultGuard *pGuard = static_cast<FaultGuard *>(TlsGetValue(s_dwGuardSlot));
    DWORD dwCode = pInfo->ExceptionRecord->ExceptionCode;
    // Only errors raised by the system (severity "error", not a customer code): C++ throws,
    // debugger notices and warnings pass on untouched.
    if (pGuard == NULL || pGuard->pResumeStack == NULL || pGuard->bFaulted ||
        (dwCode & 0xF0000000u) != 0xC0000000u) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    pGuard->bFaulted = TRUE;
    pGuard->dwFaultCode = dwCode;
    ULONG_PTR uStack = (reinterpret_cast<ULONG_PTR>(pGuard->pResumeStack) - 256) & ~static_cast<ULONG_PTR>(15);
#if defined(__x86_64__)
    pInfo->ContextRecord->Rsp = uStack - 8;   // as if GuardResume had just been called
    pInfo->ContextRecord->Rip = reinterpret_cast<DWORD64>(&GuardResume);
#elif defined(__i386__)
    pInfo->ContextRecord->Esp = static_cast<DWORD>(uStack - 4);
    pInfo->ContextRecord->Eip = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(&GuardResume));
#else
#error "no fault guard for this processor"
#endif
    return EXCEPTION_CONTINUE_EXECUTION;
}

static __attribute__((noinline)) void GuardedCall(FaultGuard *pGuard, GuardedProc pfnProc, void *pContext)
{
    // Everything below this frame belongs to the guarded work and is dead after a fault.
    pGuard->pResumeStack = __builtin_frame_address(0);
    pfnProc(pContext);
}

// Runs pfnProc (which must not throw). TRUE when it ran to its end, FALSE when a structured
// fault on this thread ended it; *pdwFaultCode then holds the exception code.
static __attribute__((noinline)) BOOL RunGuarded(GuardedProc pfnProc, void *pContext, DWORD *pdwFaultCode)
{
    FaultGuard guard;
    PVOID volatile hHandler = NULL;
    BOOL bCompleted = TRUE;

    ZeroMemory(&guard, sizeof(guard));
    *pdwFaultCode = 0;
    InitOnceExecuteOnce(&s_guardInit, InitGuardSlot, NULL, NULL);
    if (s_dwGuardSlot != TLS_OUT_OF_INDEXES) {
        hHandler = AddVectoredExceptionHandler(1, GuardFaultHandler);
    }
    if (hHandler == NULL) {
        // No guard to be had: the work still runs, as it would without one.
        pfnProc(pContext);
        return TRUE;
    }
    guard.pOuter = static_cast<FaultGuard *>(TlsGetValue(s_dwGuardSlot));
    TlsSetValue(s_dwGuardSlot, &guard);
    if (__builtin_setjmp(guard.apJmp) == 0) {
        GuardedCall(&guard, pfnProc, pContext);
    } else {
        bCompleted = FALSE;
        *pdwFaultCode = guard.dwFaultCode;
    }
    TlsSetValue(s_dwGuardSlot, guard.pOuter);
    RemoveVectoredExceptionHandler(hHandler);
    return bCompleted;
}

// ---------------------------------------------------------------------------------------
// What one selection attempt holds. Every reference and name lives here from the moment it
// is obtained, so that whatever way the attempt ends, a fault included, it is given back once.

struct AttemptHold {
    IUIAutomation *pAutomation;
    IUIAutomationTreeWalker *pWalker;
    IUIAutomationElement *pElement;        // the control's element, later the walk's current one
    IUIAutomationElement *pNextElement;    // a child or sibling just obtained
    BSTR bstrControlName;                  // the name of the captured control
    BSTR bstrName;                         // the name of the walk's current element
    IUnknown *pPatternObject;
    IUIAutomationSelectionItemPattern *pPattern;
    BOOL bComStarted;
};

static AttemptHold s_hold;

static void ReleaseInterface(IUnknown **ppUnknown)
{
    IUnknown *pUnknown = *ppUnknown;
    *ppUnknown = NULL;
    if (pUnknown != NULL) {
        pUnknown->Release();
    }
}

template <class T> static void ReleaseHeld(T **ppInterface)
{
    IUnknown *pUnknown = *ppInterface;
    *ppInterface = NULL;
    ReleaseInterface(&pUnknown);
}

static void FreeHeldName(BSTR *pbstr)
{
    BSTR bstr = *pbstr;
    *pbstr = NULL;
    if (bstr != NULL) {
        SysFreeString(bstr);
    }
}

// Each step gives back one thing; run one by one under a guard after a fault, so that an
// object broken by the fault costs only its own reference.
static void ReleaseStepName(void *) { FreeHeldName(&s_hold.bstrName); }
static void ReleaseStepControlName(void *) { FreeHeldName(&s_hold.bstrControlName); }
static void ReleaseStepPattern(void *) { ReleaseHeld(&s_hold.pPattern); }
static void ReleaseStepPatternObject(void *) { ReleaseHeld(&s_hold.pPatternObject); }
static void ReleaseStepNextElement(void *) { ReleaseHeld(&s_hold.pNextElement); }
static void ReleaseStepWalker(void *) { ReleaseHeld(&s_hold.pWalker); }
static void ReleaseStepElement(void *) { ReleaseHeld(&s_hold.pElement); }
static void ReleaseStepAutomation(void *) { ReleaseHeld(&s_hold.pAutomation); }
static void ReleaseStepCom(void *)
{
    if (s_hold.bComStarted) {
        s_hold.bComStarted = FALSE;
        CoUninitialize();
    }
}

// In the order of the attempt's clean-up: the walker, the element, the automation object.
static const GuardedProc s_apfnReleaseSteps[] = {
    ReleaseStepName,      ReleaseStepControlName, ReleaseStepPattern,    ReleaseStepPatternObject,
    ReleaseStepNextElement, ReleaseStepWalker,    ReleaseStepElement,    ReleaseStepAutomation,
    ReleaseStepCom,
};

static void ReleaseAttempt(BOOL bGuarded)
{
    for (GuardedProc pfnStep : s_apfnReleaseSteps) {
        if (bGuarded) {
            DWORD dwFaultCode = 0;
            RunGuarded(pfnStep, NULL, &dwFaultCode);
        } else {
            pfnStep(NULL);
        }
    }
    ZeroMemory(&s_hold, sizeof(s_hold));
}

// A failed attempt: what the walk holds goes back, then the attempt leaves for the caller.
[[noreturn]] static void FailAttempt(void)
{
    FreeHeldName(&s_hold.bstrName);
    ReleaseHeld(&s_hold.pNextElement);
    ReleaseHeld(&s_hold.pElement);
    throw ExplorerAttemptFailed();
}

// ---------------------------------------------------------------------------------------

// Equal when equal after folding A-Z to a-z; every other unit and the length must match.
// An absent name compares as the empty name.
static BOOL NamesEqual(BSTR bstrName, const WCHAR *pszName)
{
    UINT cchBstr = bstrName != NULL ? SysStringLen(bstrName) : 0;
    UINT cchName = static_cast<UINT>(lstrlenW(pszName));
    if (cchBstr != cchName) {
        return FALSE;
    }
    for (UINT i = 0; i < cchName; i++) {
        WCHAR chA = bstrName[i];
        WCHAR chB = pszName[i];
        if (chA >= L'A' && chA <= L'Z') chA = static_cast<WCHAR>(chA - L'A' + L'a');
        if (chB >= L'A' && chB <= L'Z') chB = static_cast<WCHAR>(chB - L'A' + L'a');
        if (chA != chB) {
            return FALSE;
        }
    }
    return TRUE;
}

// (65535.0 / extent) * coordinate, truncated toward zero; kept inside the int range so that a
// wild coordinate cannot make the conversion undefined.
static DWORD ScaleToAbsolute(int nExtent, LONG nCoordinate)
{
    double dValue = (65535.0 / nExtent) * nCoordinate;
    if (dValue > 2147483647.0) dValue = 2147483647.0;
    if (dValue < -2147483648.0) dValue = -2147483648.0;
    return static_cast<DWORD>(static_cast<LONG>(dValue));
}

// Moves the pointer to the screen point and clicks the left button there.
static void ClickAt(LONG x, LONG y)
{
    int cxScreen = g_ExplorerPlatform.pfnGetSystemMetrics(SM_CXSCREEN);
    if (cxScreen <= 0) {
        return;   // no screen size: no point to aim at
    }
    DWORD dwX = ScaleToAbsolute(cxScreen, x);
    int cyScreen = g_ExplorerPlatform.pfnGetSystemMetrics(SM_CYSCREEN);
    if (cyScreen <= 0) {
        return;
    }
    DWORD dwY = ScaleToAbsolute(cyScreen, y);
    g_ExplorerPlatform.pfnMouseEvent(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, dwX, dwY, 0, 0);
    g_ExplorerPlatform.pfnMouseEvent(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
    g_ExplorerPlatform.pfnMouseEvent(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
}

enum WalkOutcome {
    WALK_FOUND,   // s_hold.pElement is the match, s_hold.bstrName its name
    WALK_ENDED    // a call failed or a name was unreadable; nothing of the walk is held
};

// Walks the children of s_hold.pElement for pszSought. Running out of children is a failed
// attempt (thrown, after giving back what the walk holds).
static WalkOutcome WalkChildren(IUIAutomationTreeWalker *pWalker, const WCHAR *pszSought, BOOL bLogNames)
{
    HRESULT hr = pWalker->GetFirstChildElement(s_hold.pElement, &s_hold.pNextElement);
    if (FAILED(hr)) {
        s_hold.pNextElement = NULL;
        ReleaseHeld(&s_hold.pElement);
        return WALK_ENDED;
    }
    for (;;) {
        if (s_hold.pNextElement == NULL) {
            FailAttempt();
        }
        ReleaseHeld(&s_hold.pElement);
        s_hold.pElement = s_hold.pNextElement;
        s_hold.pNextElement = NULL;

        hr = s_hold.pElement->get_CurrentName(&s_hold.bstrName);
        if (FAILED(hr)) {
            s_hold.bstrName = NULL;
            ReleaseHeld(&s_hold.pElement);
            return WALK_ENDED;
        }
        if (bLogNames) {
            WriteLog(L"pElement->get_CurrentName->%s", s_hold.bstrName != NULL ? s_hold.bstrName : L"");
        }
        if (NamesEqual(s_hold.bstrName, pszSought)) {
            return WALK_FOUND;
        }
        FreeHeldName(&s_hold.bstrName);
        hr = pWalker->GetNextSiblingElement(s_hold.pElement, &s_hold.pNextElement);
        if (FAILED(hr)) {
            s_hold.pNextElement = NULL;
        }
    }
}

// The SelectionItem pattern of s_hold.pElement into s_hold.pPattern; FALSE when there is none.
static BOOL GetSelectionPattern(void)
{
    HRESULT hr = s_hold.pElement->GetCurrentPattern(UIA_SELECTION_ITEM_PATTERN_ID, &s_hold.pPatternObject);
    if (FAILED(hr) || s_hold.pPatternObject == NULL) {
        s_hold.pPatternObject = NULL;
        return FALSE;
    }
    // The pattern comes as IUnknown; ask it for the interface rather than assume the pointer is one.
    hr = s_hold.pPatternObject->QueryInterface(IID_KolbrinIUIAutomationSelectionItemPattern,
                                               reinterpret_cast<void **>(&s_hold.pPattern));
    if (FAILED(hr)) {
        s_hold.pPattern = NULL;
    }
    ReleaseHeld(&s_hold.pPatternObject);
    return s_hold.pPattern != NULL;
}

int SelectInDesktopList(IUIAutomationTreeWalker *pWalker, IUIAutomationElement *pElement,
                        const WCHAR *pszArchiveName)
{
    RECT rc = {0, 0, 0, 0};
    POINT pt = {0, 0};

    s_hold.pElement = pElement;
    if (WalkChildren(pWalker, pszArchiveName, TRUE) != WALK_FOUND) {
        return 0;
    }
    WriteLog(L"pElement->GetCurrentPattern");
    if (!GetSelectionPattern()) {
        goto cleanup;
    }
    s_hold.pPattern->Select();
    ReleaseHeld(&s_hold.pPattern);

    WriteLog(L"get_CurrentBoundingRectangle");
    if (FAILED(s_hold.pElement->get_CurrentBoundingRectangle(&rc))) {
        goto cleanup;
    }
    // The middle of the icon, 5 pixels above its lower edge.
    pt.x = rc.left + (rc.right - rc.left) / 2;
    pt.y = rc.bottom - 5;
    WriteLog(L"WindowFromPoint");
    if (g_ExplorerPlatform.pfnWindowFromPoint(pt) == g_hwndCtl) {
        WriteLog(L"Success");
        ClickAt(pt.x, pt.y);
    }

cleanup:
    FreeHeldName(&s_hold.bstrName);
    ReleaseHeld(&s_hold.pElement);
    return 1;
}

int SelectInItemsView(IUIAutomationTreeWalker *pWalker, IUIAutomationElement *pElement,
                      const WCHAR *pszArchiveName)
{
    POINT pt = {0, 0};
    BOOL bGotClickable = FALSE;

    s_hold.pElement = pElement;
    if (WalkChildren(pWalker, pszArchiveName, FALSE) != WALK_FOUND) {
        return 0;
    }
    FreeHeldName(&s_hold.bstrName);
    if (!GetSelectionPattern()) {
        ReleaseHeld(&s_hold.pElement);
        return 1;
    }
    s_hold.pPattern->Select();
    ReleaseHeld(&s_hold.pPattern);

    // The item's cells: the one of the Name column is clicked.
    if (WalkChildren(pWalker, NAME_NAME_COLUMN, FALSE) != WALK_FOUND) {
        return 1;
    }
    // The found flag is not consulted; (0, 0) stands for no point.
    if (SUCCEEDED(s_hold.pElement->GetClickablePoint(&pt, &bGotClickable)) && (pt.x > 0 || pt.y > 0)) {
        ClickAt(pt.x, pt.y);
    }
    FreeHeldName(&s_hold.bstrName);
    ReleaseHeld(&s_hold.pElement);
    return 1;
}

// The steps of one attempt up to its clean-up. A failed attempt leaves as ExplorerAttemptFailed.
static int AttemptSteps(const WCHAR *pszArchiveName)
{
    int nResult = 0;
    HRESULT hr;

    // Only a successful initialisation is balanced: one refused because this thread already
    // lives in another apartment must not end the COM use its owner began.
    hr = CoInitializeEx(NULL, COINIT_MULTITHREADED);
    s_hold.bComStarted = SUCCEEDED(hr);

    hr = g_ExplorerPlatform.pfnCoCreateInstance(CLSID_KolbrinCUIAutomation, NULL, CLSCTX_INPROC_SERVER,
                                                IID_KolbrinIUIAutomation,
                                                reinterpret_cast<void **>(&s_hold.pAutomation));
    if (FAILED(hr) || s_hold.pAutomation == NULL) {
        s_hold.pAutomation = NULL;
        WriteLog(L"CoCreateInstance NG");
        LogHresult(hr);
        return 0;
    }
    hr = s_hold.pAutomation->ElementFromHandle(g_hwndCtl, &s_hold.pElement);
    if (FAILED(hr) || s_hold.pElement == NULL) {
        s_hold.pElement = NULL;
        WriteLog(L"pAutomation->ElementFromHandle NG");
        return 0;
    }
    hr = s_hold.pAutomation->get_ControlViewWalker(&s_hold.pWalker);
    if (FAILED(hr) || s_hold.pWalker == NULL) {
        s_hold.pWalker = NULL;
        WriteLog(L"pAutomation->get_ControlViewWalker NG");
        return 0;
    }

    try {
        hr = s_hold.pElement->get_CurrentName(&s_hold.bstrControlName);
        if (FAILED(hr)) {
            s_hold.bstrControlName = NULL;
            return 0;
        }
        // Three separate tests; the names differ, so at most one matches.
        if (NamesEqual(s_hold.bstrControlName, NAME_DESKTOP)) {
            WriteLog(L"%s", NAME_DESKTOP);
            nResult = SelectInDesktopList(s_hold.pWalker, s_hold.pElement, pszArchiveName);
        }
        if (NamesEqual(s_hold.bstrControlName, NAME_NAVIGATION_TREE)) {
            ReleaseHeld(&s_hold.pElement);
            nResult = 1;
        }
        if (NamesEqual(s_hold.bstrControlName, NAME_ITEMS_VIEW)) {
            nResult = SelectInItemsView(s_hold.pWalker, s_hold.pElement, pszArchiveName);
        }
        FreeHeldName(&s_hold.bstrControlName);
    } catch (ExplorerAttemptFailed &) {
        throw;
    } catch (...) {
        // nResult still holds what a completed case gave.
        WriteLog(L"catch(...)");
    }
    return nResult;
}

struct AttemptRun {
    const WCHAR *pszArchiveName;
    int nResult;
    BOOL bFailed;
    std::exception_ptr pOther;   // an exception from outside the steps that catch everything
};

static void RunAttempt(void *pContext)
{
    AttemptRun *pRun = static_cast<AttemptRun *>(pContext);
    try {
        pRun->nResult = AttemptSteps(pRun->pszArchiveName);
    } catch (ExplorerAttemptFailed &) {
        pRun->bFailed = TRUE;
    } catch (...) {
        pRun->pOther = std::current_exception();
    }
    // The clean-up of every exit: walker, element, automation object, then COM.
    ReleaseAttempt(FALSE);
}

int SelectItemInExplorer(const WCHAR *pszArchiveName)
{
    AttemptRun run;
    DWORD dwFaultCode = 0;

    run.pszArchiveName = pszArchiveName;
    run.nResult = 0;
    run.bFailed = FALSE;
    ZeroMemory(&s_hold, sizeof(s_hold));
    if (!RunGuarded(RunAttempt, &run, &dwFaultCode)) {
        // A structured fault ended the attempt: give back what it held, as far as that goes.
        ReleaseAttempt(TRUE);
        throw ExplorerAttemptFailed();
    }
    if (run.pOther) {
        std::rethrow_exception(run.pOther);
    }
    if (run.bFailed) {
        throw ExplorerAttemptFailed();
    }
    return run.nResult;
}

ATOM RegisterProbeClass(HINSTANCE hInstance)
{
    WNDCLASSEXW wc;
    ZeroMemory(&wc, sizeof(wc));
    wc.cbSize = sizeof(WNDCLASSEXW);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = DefWindowProcW;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = hInstance;
    wc.hIcon = NULL;
    wc.hCursor = LoadCursorW(NULL, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    wc.lpszMenuName = NULL;
    wc.lpszClassName = PROBE_CLASS_NAME;
    wc.hIconSm = NULL;
    return RegisterClassExW(&wc);
}

void CaptureFocusedControl(void)
{
    HWND hwndForeground = GetForegroundWindow();
    HWND hwndProbe = NULL;
    HINSTANCE hInstance = NULL;

    WriteLog(L"hwndForeground=%d", HandleToLong(hwndForeground));
    hInstance = GetModuleHandleW(NULL);
    if (RegisterProbeClass(hInstance) == 0) {
        goto cleanup;
    }
    // While a window of this thread is a child of the foreground window, the two threads
    // share one input state, so GetFocus answers for the foreground window's thread.
    hwndProbe = CreateWindowExW(0, PROBE_CLASS_NAME, PROBE_WINDOW_TITLE, WS_CHILD, 0, 0, 100, 100, hwndForeground,
                                NULL, hInstance, NULL);
    if (hwndProbe == NULL) {
        goto cleanup;
    }
    g_hwndCtl = GetFocus();
    WriteLog(L"g_hwndCtl=%d", HandleToLong(g_hwndCtl));

cleanup:
    if (hwndProbe != NULL) {
        DestroyWindow(hwndProbe);
    }
}
