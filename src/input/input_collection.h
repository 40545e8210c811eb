// Expands the command-line items into the table of files to archive.
#pragma once

#include "common/common.h"

extern FileTable g_FileTable;

// Fills g_FileTable from ppszArgs[1..nArgs-1]. Returns 0, BUILD_TOO_MANY_FILES,
// BUILD_ITEM_NOT_FOUND, BUILD_PATH_TOO_LONG or BUILD_CANCELLED; the count and the
// table's address are handed out on every return.
int CollectInputs(int nArgs, LPWSTR *ppszArgs, int *pnCount, FileTable **ppTable);

// Walks one directory; pszPrefix is the entry-name form (with backslashes) of its contents.
int CollectDirectory(const WCHAR *pszDirectory, const WCHAR *pszPrefix, FileTable *pTable, int *pnCount);

// Replaces every backslash by a slash, in place.
void ToForwardSlashes(WCHAR *psz);
