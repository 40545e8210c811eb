// Runs a real modal dialog from the program's resources with a test script, and captures every
// message box it raises (text, caption, icon, owner), closing each one so nothing waits.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

struct CapturedMessageBox {
    std::wstring text;
    std::wstring caption;
    bool bErrorIcon;          // the system's error icon is shown
    HWND hwndOwner;
    bool bOwnerStillShown;    // the dialog was still on the screen while the box was open
};

struct DialogRun {
    INT_PTR nResult;
    bool bScriptRan;
    bool bForcedEnd;          // the script left the dialog open and the harness had to end it
    std::vector<CapturedMessageBox> boxes;
};

// Shows dialog nTemplate with DialogBoxParamW(dlgProc, lParam) and calls script(hwndDialog) from
// inside its modal loop once the dialog is up. Message boxes opened meanwhile are captured and
// closed with OK. A dialog still open 15 s later is ended with -100 and reported as forced.
DialogRun RunModalDialog(int nTemplate, DLGPROC dlgProc, LPARAM lParam, const std::function<void(HWND)> &script);

// Pumps this thread's messages for about nMilliseconds (through the given dialog's keyboard
// handling when hwndDialog is set).
void PumpMessages(DWORD nMilliseconds, HWND hwndDialog = NULL);

// Clicks a button the way the mouse does, through BM_CLICK.
void ClickButton(HWND hwndDialog, int nId);

std::wstring WindowText(HWND hwnd);
std::wstring ItemText(HWND hwndDialog, int nId);
