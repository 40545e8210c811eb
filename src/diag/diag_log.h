// Optional diagnostic log beside the program, switched on by its settings file.
#pragma once

#include "common/common.h"

extern WCHAR g_szLogPath[PATH_UNITS];
extern DWORD g_bLogSave;
extern int g_bLogLoaded;

DWORD LoadLogSettings(void);
void WriteLog(const WCHAR *pszFormat, ...);
void LogHresult(HRESULT hr);
