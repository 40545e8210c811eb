// Process-wide flags and the bounded text helpers shared by every subsystem.
#include "common/common.h"

#include <stdarg.h>
#include <stdlib.h>
#include <strsafe.h>

volatile LONG g_bCancel = 0;
HWND volatile g_hwndProgress = NULL;
volatile LONG g_bEmptyDir = 0;
HINSTANCE g_hInstance = NULL;
HWND g_hwndCtl = NULL;

static BOOL FormatBounded(WCHAR *pszBuffer, size_t cchBuffer, const WCHAR *pszFormat, va_list args)
{
    if (FAILED(StringCchVPrintfW(pszBuffer, cchBuffer, pszFormat, args))) {
        pszBuffer[0] = L'\0';
        return FALSE;
    }
    return TRUE;
}

BOOL FormatPath(WCHAR *pszBuffer, const WCHAR *pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    BOOL bOk = FormatBounded(pszBuffer, PATH_UNITS, pszFormat, args);
    va_end(args);
    return bOk;
}

BOOL FormatMessageText(WCHAR *pszBuffer, const WCHAR *pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    BOOL bOk = FormatBounded(pszBuffer, MESSAGE_UNITS, pszFormat, args);
    va_end(args);
    return bOk;
}

BOOL CopyPath(WCHAR *pszDest, const WCHAR *pszSource)
{
    if (FAILED(StringCchCopyW(pszDest, PATH_UNITS, pszSource))) {
        pszDest[0] = L'\0';
        return FALSE;
    }
    return TRUE;
}

BOOL SplitPath(const WCHAR *pszPath, PathParts *pParts)
{
    ZeroMemory(pParts, sizeof(*pParts));
    if (_wsplitpath_s(pszPath, pParts->szDrive, DRIVE_UNITS, pParts->szDir, PART_UNITS,
                      pParts->szFname, PART_UNITS, pParts->szExt, PART_UNITS) != 0) {
        ZeroMemory(pParts, sizeof(*pParts));
        return FALSE;
    }
    return TRUE;
}
