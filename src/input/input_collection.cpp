// Expands the command-line items into the table of files to archive, each with its entry name.
#include "input/input_collection.h"

#include <string.h>

FileTable g_FileTable;

void ToForwardSlashes(WCHAR *psz)
{
    for (; *psz != L'\0'; ++psz) {
        if (*psz == L'\\') *psz = L'/';
    }
}

// Stores one file as entry *pnCount. The name is converted while it is still UTF-16 with
// slashes, so a double-byte character whose trail byte is 0x5C keeps that byte.
static int StoreFile(FileTable *pTable, int *pnCount, const WCHAR *pszPath, const WCHAR *pszRelative)
{
    if (*pnCount >= FILE_TABLE_SIZE) return BUILD_TOO_MANY_FILES;

    WCHAR szName[PATH_UNITS];
    if (!CopyPath(szName, pszRelative)) return BUILD_PATH_TOO_LONG;
    ToForwardSlashes(szName);

    FileEntry *pEntry = &pTable->aEntries[*pnCount];
    if (!CopyPath(pEntry->szPath, pszPath)) return BUILD_PATH_TOO_LONG;

    // Zero means the ANSI form does not fit szName; it is refused rather than cut.
    if (WideCharToMultiByte(CP_ACP, 0, szName, -1, pEntry->szName, ENTRY_NAME_BYTES, NULL, NULL) == 0) {
        ZeroMemory(pEntry, sizeof(*pEntry));
        return BUILD_PATH_TOO_LONG;
    }
    ++*pnCount;
    return 0;
}

int CollectDirectory(const WCHAR *pszDirectory, const WCHAR *pszPrefix, FileTable *pTable, int *pnCount)
{
    WCHAR szBase[PATH_UNITS];
    WCHAR szPattern[PATH_UNITS];
    WCHAR szFull[PATH_UNITS];
    WCHAR szRelative[PATH_UNITS];
    WIN32_FIND_DATAW fd;
    HANDLE hFind = INVALID_HANDLE_VALUE;
    int nResult = 0;

    size_t cch = wcslen(pszDirectory);
    BOOL bFits = (cch > 0 && pszDirectory[cch - 1] == L'\\') ? CopyPath(szBase, pszDirectory)
                                                             : FormatPath(szBase, L"%s\\", pszDirectory);
    if (!bFits || !FormatPath(szPattern, L"%s*.*", szBase)) {
        nResult = BUILD_PATH_TOO_LONG;
        goto cleanup;
    }

    hFind = FindFirstFileW(szPattern, &fd);
    if (hFind == INVALID_HANDLE_VALUE) goto cleanup;   // unreadable listing: adds nothing

    do {
        BOOL bDirectory = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        // Dot folders (".", "..", ".git" and the like) are skipped with everything below them.
        if (!(bDirectory && fd.cFileName[0] == L'.')) {
            if (!FormatPath(szFull, L"%s%s", szBase, fd.cFileName) ||
                !FormatPath(szRelative, L"%s\\%s", pszPrefix, fd.cFileName)) {
                nResult = BUILD_PATH_TOO_LONG;
                goto cleanup;
            }
            if (bDirectory) {
                int nBefore = *pnCount;
                nResult = CollectDirectory(szFull, szRelative, pTable, pnCount);
                if (*pnCount == nBefore) g_bEmptyDir = 1;
            } else {
                nResult = StoreFile(pTable, pnCount, szFull, szRelative);
            }
            if (nResult != 0) goto cleanup;
        }
        if (g_bCancel) {
            nResult = BUILD_CANCELLED;
            goto cleanup;
        }
    } while (FindNextFileW(hFind, &fd));

cleanup:
    if (hFind != INVALID_HANDLE_VALUE) FindClose(hFind);
    return nResult;
}

int CollectInputs(int nArgs, LPWSTR *ppszArgs, int *pnCount, FileTable **ppTable)
{
    int nCount = 0;
    int nResult = 0;

    g_bEmptyDir = 0;
    for (int i = 1; i < nArgs; ++i) {
        const WCHAR *pszArg = ppszArgs[i];
        if (wcslen(pszArg) >= PATH_UNITS) {
            nResult = BUILD_PATH_TOO_LONG;
            break;
        }

        WIN32_FIND_DATAW fd;
        HANDLE hFind = FindFirstFileW(pszArg, &fd);
        if (hFind == INVALID_HANDLE_VALUE) {
            nResult = BUILD_ITEM_NOT_FOUND;
            break;
        }
        FindClose(hFind);

        // The top-level name is the argument's own last component, in the case it was given.
        PathParts parts;
        WCHAR szTop[PATH_UNITS];
        if (!SplitPath(pszArg, &parts) || !FormatPath(szTop, L"%s%s", parts.szFname, parts.szExt)) {
            nResult = BUILD_PATH_TOO_LONG;
            break;
        }

        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            int nBefore = nCount;
            nResult = CollectDirectory(pszArg, szTop, &g_FileTable, &nCount);
            if (nCount == nBefore) g_bEmptyDir = 1;
        } else {
            nResult = StoreFile(&g_FileTable, &nCount, pszArg, szTop);
        }
        if (nResult != 0) break;

        if (g_bCancel) {
            nResult = BUILD_CANCELLED;
            break;
        }
    }

    *pnCount = nCount;
    *ppTable = &g_FileTable;
    return nResult;
}
