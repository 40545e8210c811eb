// Builds the encrypted archive from the command-line items: the whole job of the worker thread.
#pragma once

#include "common/common.h"

// pszOutPath: the caller's zero-filled buffer of PATH_UNITS units; receives the archive path
// once it has been chosen and keeps it on every later exit.
BuildResult CreateEncryptedZip(const char *pszPassword, WCHAR *pszOutPath, int nArgs, LPWSTR *ppszArgs);

// Thread entry for _beginthreadex; pArgs is a WorkerArgs. Returns the BuildResult.
unsigned __stdcall WorkerThreadProc(void *pArgs);
