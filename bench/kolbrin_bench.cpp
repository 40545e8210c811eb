// Console driver for black-box checks and benchmarks: builds one archive from PASSWORD ITEM...
// and prints {"result":R,"archive":"...","files":N,"ms":T} as one line of UTF-8 JSON.
#include "archive/archive_builder.h"
#include "input/input_collection.h"

#include <shellapi.h>
#include <strsafe.h>

enum {
    JSON_UNITS = 2048,       // a 260-unit path escaped at worst 6 units per unit, plus the frame
    JSON_BYTES = 3 * JSON_UNITS
};

static void WriteBytes(DWORD dwStdHandle, const char *psz, DWORD cb)
{
    DWORD cbWritten = 0;
    WriteFile(GetStdHandle(dwStdHandle), psz, cb, &cbWritten, NULL);
}

static void WriteError(const char *psz)
{
    WriteBytes(STD_ERROR_HANDLE, psz, (DWORD)lstrlenA(psz));
}

// Entries are stored from index 0 upwards into a table that starts zero-filled in this process,
// and this process runs one build, so the stored entries are the leading ones with both a path
// and a name.
static int CountCollectedFiles(void)
{
    int nCount = 0;
    while (nCount < FILE_TABLE_SIZE && g_FileTable.aEntries[nCount].szPath[0] != L'\0' &&
           g_FileTable.aEntries[nCount].szName[0] != '\0') {
        nCount++;
    }
    return nCount;
}

// Appends psz to the JSON text as the contents of a string: quotes, backslashes and control
// characters escaped, everything else as it stands (made UTF-8 on output).
static BOOL AppendJsonString(WCHAR *pszJson, size_t cchJson, const WCHAR *psz)
{
    for (; *psz != L'\0'; psz++) {
        WCHAR szUnit[8];
        HRESULT hr;
        if (*psz == L'"' || *psz == L'\\') {
            hr = StringCchPrintfW(szUnit, ARRAYSIZE(szUnit), L"\\%c", *psz);
        } else if (*psz < 0x20) {
            hr = StringCchPrintfW(szUnit, ARRAYSIZE(szUnit), L"\\u%04x", (unsigned)*psz);
        } else {
            szUnit[0] = *psz;
            szUnit[1] = L'\0';
            hr = S_OK;
        }
        if (FAILED(hr) || FAILED(StringCchCatW(pszJson, cchJson, szUnit))) {
            return FALSE;
        }
    }
    return TRUE;
}

int main(void)
{
    int nExit = 0;
    int nArgc = 0;
    LPWSTR *ppszArgv = CommandLineToArgvW(GetCommandLineW(), &nArgc);
    LPWSTR *ppszBuildArgs = NULL;
    char szPassword[PASSWORD_BYTES];
    WCHAR szOutPath[PATH_UNITS];
    static WCHAR szJson[JSON_UNITS];
    static char szUtf8[JSON_BYTES];
    LARGE_INTEGER liFrequency, liStart, liEnd;
    BuildResult nResult;
    int nPasswordBytes, cbUtf8, i;

    ZeroMemory(szPassword, sizeof(szPassword));
    ZeroMemory(szOutPath, sizeof(szOutPath));
    if (ppszArgv == NULL || nArgc < 3) {
        WriteError("usage: kolbrin_bench PASSWORD ITEM...\n");
        nExit = 2;
        goto cleanup;
    }

    // The password dialog reads its text in the ANSI code page with the system's default
    // replacement for characters the code page lacks; the same conversion here.
    nPasswordBytes = WideCharToMultiByte(CP_ACP, 0, ppszArgv[1], -1, szPassword, sizeof(szPassword), NULL, NULL);
    if (nPasswordBytes < 2 || nPasswordBytes - 1 > PASSWORD_MAX_LENGTH) {
        WriteError("kolbrin_bench: the password must be 1 to 32 bytes in the ANSI code page\n");
        nExit = 2;
        goto cleanup;
    }

    // The program's own vector: its path first, then the items.
    ppszBuildArgs = (LPWSTR *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(LPWSTR) * (nArgc - 1));
    if (ppszBuildArgs == NULL) {
        WriteError("kolbrin_bench: out of memory\n");
        nExit = 2;
        goto cleanup;
    }
    ppszBuildArgs[0] = ppszArgv[0];
    for (i = 2; i < nArgc; i++) {
        ppszBuildArgs[i - 1] = ppszArgv[i];
    }

    g_hwndProgress = NULL;
    g_bCancel = 0;
    QueryPerformanceFrequency(&liFrequency);
    QueryPerformanceCounter(&liStart);
    nResult = CreateEncryptedZip(szPassword, szOutPath, nArgc - 1, ppszBuildArgs);
    QueryPerformanceCounter(&liEnd);

    szJson[0] = L'\0';
    if (FAILED(StringCchPrintfW(szJson, JSON_UNITS, L"{\"result\":%d,\"archive\":\"", nResult)) ||
        !AppendJsonString(szJson, JSON_UNITS, szOutPath) ||
        FAILED(StringCchPrintfW(szJson + lstrlenW(szJson), JSON_UNITS - lstrlenW(szJson),
                                L"\",\"files\":%d,\"ms\":%.3f}\n", CountCollectedFiles(),
                                (double)(liEnd.QuadPart - liStart.QuadPart) * 1000.0 / (double)liFrequency.QuadPart))) {
        WriteError("kolbrin_bench: report does not fit its buffer\n");
        nExit = 2;
        goto cleanup;
    }
    cbUtf8 = WideCharToMultiByte(CP_UTF8, 0, szJson, -1, szUtf8, sizeof(szUtf8), NULL, NULL);
    if (cbUtf8 <= 1) {
        WriteError("kolbrin_bench: report cannot be converted to UTF-8\n");
        nExit = 2;
        goto cleanup;
    }
    WriteBytes(STD_OUTPUT_HANDLE, szUtf8, (DWORD)(cbUtf8 - 1));

cleanup:
    SecureZeroMemory(szPassword, sizeof(szPassword));
    if (ppszBuildArgs != NULL) {
        HeapFree(GetProcessHeap(), 0, ppszBuildArgs);
    }
    if (ppszArgv != NULL) {
        LocalFree(ppszArgv);
    }
    return nExit;
}
