// Shows one of the program's dialogs as a user sees it and saves a picture of it as a BMP file:
//   dialog_preview.exe password|progress OUTPUT.bmp
// Used by scripts/screenshot-dialogs.sh for the pictures in docs/.
#include "shell/password_dialog.h"
#include "shell/progress_dialog.h"
#include "resource.h"

#include <commctrl.h>
#include <shellapi.h>
#include <stdio.h>

static void Pump(DWORD nMilliseconds)
{
    DWORD dwStart = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(10);
    } while (GetTickCount() - dwStart < nMilliseconds);
}

// Copies the window's screen area into a 24-bit bottom-up BMP file.
static BOOL SaveWindowPicture(HWND hwnd, const WCHAR *pszPath)
{
    BOOL bOk = FALSE;
    RECT rc;
    GetWindowRect(hwnd, &rc);
    int cx = rc.right - rc.left;
    int cy = rc.bottom - rc.top;
    int cbRow = ((cx * 3) + 3) & ~3;
    DWORD cbPixels = static_cast<DWORD>(cbRow) * static_cast<DWORD>(cy);

    HDC hdcScreen = GetDC(NULL);
    HDC hdcMemory = CreateCompatibleDC(hdcScreen);
    BITMAPINFO info;
    ZeroMemory(&info, sizeof(info));
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = cx;
    info.bmiHeader.biHeight = cy;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void *pBits = NULL;
    HBITMAP hBitmap = CreateDIBSection(hdcScreen, &info, DIB_RGB_COLORS, &pBits, NULL, 0);
    HGDIOBJ hOld = NULL;
    HANDLE hFile = INVALID_HANDLE_VALUE;
    if (hdcScreen == NULL || hdcMemory == NULL || hBitmap == NULL) {
        goto cleanup;
    }
    hOld = SelectObject(hdcMemory, hBitmap);
    BitBlt(hdcMemory, 0, 0, cx, cy, hdcScreen, rc.left, rc.top, SRCCOPY);
    GdiFlush();

    hFile = CreateFileW(pszPath, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile != INVALID_HANDLE_VALUE) {
        BITMAPFILEHEADER header;
        ZeroMemory(&header, sizeof(header));
        header.bfType = 0x4D42;
        header.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
        header.bfSize = header.bfOffBits + cbPixels;
        DWORD cbWritten = 0;
        bOk = WriteFile(hFile, &header, sizeof(header), &cbWritten, NULL) &&
              WriteFile(hFile, &info.bmiHeader, sizeof(BITMAPINFOHEADER), &cbWritten, NULL) &&
              WriteFile(hFile, pBits, cbPixels, &cbWritten, NULL) && cbWritten == cbPixels;
    }

cleanup:
    if (hFile != INVALID_HANDLE_VALUE) {
        CloseHandle(hFile);
    }
    if (hOld != NULL) {
        SelectObject(hdcMemory, hOld);
    }
    if (hBitmap != NULL) {
        DeleteObject(hBitmap);
    }
    if (hdcMemory != NULL) {
        DeleteDC(hdcMemory);
    }
    if (hdcScreen != NULL) {
        ReleaseDC(NULL, hdcScreen);
    }
    return bOk;
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
    g_hInstance = hInstance;
    int nArgs = 0;
    LPWSTR *ppszArgs = CommandLineToArgvW(GetCommandLineW(), &nArgs);
    int nExit = 2;
    HWND hwnd = NULL;
    PasswordRequest request;
    ZeroMemory(&request, sizeof(request));
    request.nArgs = 2;

    INITCOMMONCONTROLSEX icc = { sizeof(icc), ICC_LINK_CLASS | ICC_PROGRESS_CLASS };
    InitCommonControlsEx(&icc);

    if (ppszArgs == NULL || nArgs != 3) {
        goto cleanup;
    }
    if (lstrcmpW(ppszArgs[1], L"password") == 0) {
        hwnd = CreateDialogParamW(hInstance, MAKEINTRESOURCEW(IDD_PASSWORD), NULL, PasswordDlgProc,
                                  reinterpret_cast<LPARAM>(&request));
        if (hwnd != NULL) {
            SetDlgItemTextW(hwnd, IDC_PASSWORD, L"kolbrin");
        }
    } else if (lstrcmpW(ppszArgs[1], L"progress") == 0) {
        hwnd = CreateDialogParamW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDD_PROGRESS), NULL, ProgressDlgProc, 0);
        if (hwnd != NULL) {
            SendMessageW(hwnd, WM_APP_PROGRESS, reinterpret_cast<WPARAM>(L"2026年12月 写真 (2).jpg"), 40);
        }
    }
    if (hwnd == NULL) {
        goto cleanup;
    }
    ShowWindow(hwnd, SW_SHOW);
    // As after the user pressed Alt: the mnemonics are underlined.
    SendMessageW(hwnd, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEACCEL), 0);
    Pump(1500);
    RedrawWindow(hwnd, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
    Pump(500);
    nExit = SaveWindowPicture(hwnd, ppszArgs[2]) ? 0 : 1;

cleanup:
    if (hwnd != NULL) {
        DestroyWindow(hwnd);
    }
    if (ppszArgs != NULL) {
        LocalFree(ppszArgs);
    }
    return nExit;
}
