// Optional diagnostic log beside the program: one time-stamped 8-bit line per call,
// switched on by "LogSave" in the settings file of the same name.
#include "diag/diag_log.h"

#include <share.h>
#include <stdarg.h>
#include <stdio.h>
#include <strsafe.h>
#include <wchar.h>

WCHAR g_szLogPath[PATH_UNITS] = {0};
DWORD g_bLogSave = 0;
int g_bLogLoaded = 0;

enum {
    STAMP_UNITS = 18,                           // "[YYYYMMDD-hhmmss]" and slack
    LINE_UNITS = STAMP_UNITS + MESSAGE_UNITS,   // time stamp, message, line feed, terminator
    HRESULT_TEXT_EXTRA = 64                     // room for "Error code:%08xH()" around the system text
};

DWORD LoadLogSettings(void)
{
    WCHAR szModule[PATH_UNITS] = {0};
    WCHAR szSettings[PATH_UNITS] = {0};

    g_szLogPath[0] = L'\0';
    g_bLogSave = 0;

    // A path that filled the buffer may have been cut by the system: no log rather than a
    // log (and settings) at some other, shorter path.
    DWORD cch = GetModuleFileNameW(NULL, szModule, PATH_UNITS);
    if (cch == 0 || cch >= PATH_UNITS) {
        return 0;
    }
    // The cut falls at the last dot of the whole path, even when that dot is in a folder name.
    WCHAR *pszDot = wcsrchr(szModule, L'.');
    if (pszDot != NULL) {
        *pszDot = L'\0';
    }
    if (!FormatPath(g_szLogPath, L"%s.log", szModule) || !FormatPath(szSettings, L"%s.ini", szModule)) {
        g_szLogPath[0] = L'\0';
        return 0;
    }
    g_bLogSave = GetPrivateProfileIntW(L"Set", L"LogSave", 0, szSettings);
    return g_bLogSave;
}

// One byte per UTF-16 unit: U+0000-U+00FF as themselves, everything else as "?".
static void EncodeLine(const WCHAR *pszLine, char *pszBytes, size_t cbBytes)
{
    size_t i = 0;
    for (; pszLine[i] != L'\0' && i + 1 < cbBytes; i++) {
        pszBytes[i] = pszLine[i] <= 0xFF ? static_cast<char>(pszLine[i]) : '?';
    }
    pszBytes[i] = '\0';
}

void WriteLog(const WCHAR *pszFormat, ...)
{
    WCHAR szMessage[MESSAGE_UNITS] = {0};
    WCHAR szLine[LINE_UNITS] = {0};
    char szBytes[LINE_UNITS] = {0};
    SYSTEMTIME st;
    FILE *pFile = NULL;
    va_list args;

    if (!g_bLogLoaded) {
        LoadLogSettings();
        g_bLogLoaded = 1;
    }
    if (!g_bLogSave || g_szLogPath[0] == L'\0') {
        return;
    }
    GetLocalTime(&st);

    // A message too long for the buffer is cut there (leaving room for the line feed);
    // a diagnostic line may lose its end, it must never overrun.
    va_start(args, pszFormat);
    StringCchVPrintfW(szMessage, MESSAGE_UNITS - 1, pszFormat, args);
    va_end(args);
    StringCchCatW(szMessage, MESSAGE_UNITS, L"\n");

    StringCchPrintfW(szLine, LINE_UNITS, L"[%04d%02d%02d-%02d%02d%02d]%s", st.wYear, st.wMonth, st.wDay,
                     st.wHour, st.wMinute, st.wSecond, szMessage);
    EncodeLine(szLine, szBytes, sizeof(szBytes));

    // Text mode turns each LF into CR LF; no sharing, so two writers never mix within a line.
    pFile = _wfsopen(g_szLogPath, L"at", _SH_DENYRW);
    if (pFile == NULL) {
        goto cleanup;
    }
    fwrite(szBytes, 1, strlen(szBytes), pFile);

cleanup:
    if (pFile != NULL) {
        fclose(pFile);
    }
}

void LogHresult(HRESULT hr)
{
    WCHAR *pszSystemText = NULL;
    WCHAR *pszBuffer = NULL;
    DWORD cchText = 0;
    BOOL bHasText = FALSE;
    size_t cchBuffer = 0;

    if (hr >= 0) {
        return;
    }
    // Inserts are left as they stand: with no arguments to give, expanding "%1" in a system
    // text would read arguments that are not there.
    cchText = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             NULL, static_cast<DWORD>(hr), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                             reinterpret_cast<LPWSTR>(&pszSystemText), 0, NULL);
    bHasText = cchText != 0 && pszSystemText != NULL;
    cchBuffer = (bHasText ? static_cast<size_t>(cchText) : 0) + HRESULT_TEXT_EXTRA;
    pszBuffer = static_cast<WCHAR *>(LocalAlloc(LMEM_ZEROINIT, cchBuffer * sizeof(WCHAR)));
    if (pszBuffer == NULL) {
        goto cleanup;
    }
    if (bHasText) {
        StringCchPrintfW(pszBuffer, cchBuffer, L"Error code:%08xH(%s)", static_cast<unsigned>(hr), pszSystemText);
    } else {
        StringCchPrintfW(pszBuffer, cchBuffer, L"Error code:%08xH", static_cast<unsigned>(hr));
    }
    // As an argument, so that a "%" in the system text is written as it stands.
    WriteLog(L"%s", pszBuffer);

cleanup:
    if (pszSystemText != NULL) {
        LocalFree(pszSystemText);
    }
    if (pszBuffer != NULL) {
        LocalFree(pszBuffer);
    }
}
