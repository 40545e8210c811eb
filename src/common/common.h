// Types, limits, process-wide flags and bounded text helpers shared by every subsystem.
#pragma once

#include <windows.h>

enum {
    PATH_UNITS = 260,            // every path buffer, terminator included
    MESSAGE_UNITS = 1024,        // message-box texts
    FILE_TABLE_SIZE = 10000,     // files one archive can hold
    ENTRY_NAME_BYTES = 260,      // ANSI entry name, terminator included
    PASSWORD_BYTES = 64,
    PASSWORD_MAX_LENGTH = 32,    // bytes in the ANSI code page
    DRIVE_UNITS = 3,
    PART_UNITS = 256             // folder, file name and extension of a split path
};

// Result of one build, also the worker thread's exit code.
typedef int BuildResult;
enum {
    BUILD_OK = 0,
    BUILD_CANCELLED = -1,
    BUILD_NO_FILES = 2,
    BUILD_NO_RECORD_MEMORY = 3,
    BUILD_CANNOT_OPEN_FOR_TIME = 4,
    BUILD_BAD_FILE_TIME = 5,
    BUILD_CANNOT_STAT = 6,
    BUILD_NO_FREE_NAME = 7,
    BUILD_CANNOT_CREATE_ARCHIVE = 8,
    BUILD_NO_READ_MEMORY = 9,
    BUILD_SHORT_READ = 10,
    BUILD_CANNOT_OPEN_INPUT = 11,
    BUILD_WRITE_FAILED = 12,      // the archive could not be written, sought, flushed or closed, or deflate failed
    BUILD_FILE_TOO_LARGE = 13,    // a size or offset would not fit its 32-bit field
    BUILD_TOO_MANY_FILES = 102,
    BUILD_ITEM_NOT_FOUND = 103,
    BUILD_PATH_TOO_LONG = 104     // a path, pattern or name does not fit its buffer
};

// One file to archive: where it is read from and what it is called inside the archive.
struct FileEntry {
    WCHAR szPath[PATH_UNITS];
    char szName[ENTRY_NAME_BYTES];   // ANSI code page, "/" between components
};

struct FileTable {
    FileEntry aEntries[FILE_TABLE_SIZE];
};

// Exchanged with the password dialog.
struct PasswordRequest {
    char szPassword[PASSWORD_BYTES];
    int nArgs;
};

// Handed to the worker thread; everything it points to belongs to the entry routine.
struct WorkerArgs {
    int nArgs;
    LPWSTR *ppszArgs;
    const char *pszPassword;
    WCHAR *pszOutPath;
};

// Sent to the progress dialog: wParam the status text, lParam the bar position; result 1.
#define WM_APP_PROGRESS (WM_APP + 1)

// Process-wide flags and handles.
extern volatile LONG g_bCancel;
extern HWND volatile g_hwndProgress;
extern volatile LONG g_bEmptyDir;
extern HINSTANCE g_hInstance;
extern HWND g_hwndCtl;

// printf-style formatting into a buffer of PATH_UNITS (FormatPath) or MESSAGE_UNITS
// (FormatMessageText) units. FALSE when the text and its terminator do not fit; the
// buffer then holds the empty string, never a cut text.
BOOL FormatPath(WCHAR *pszBuffer, const WCHAR *pszFormat, ...);
BOOL FormatMessageText(WCHAR *pszBuffer, const WCHAR *pszFormat, ...);

// Copies a path into a buffer of PATH_UNITS units; FALSE (and "") when it does not fit.
BOOL CopyPath(WCHAR *pszDest, const WCHAR *pszSource);

// A path split into drive, folder (with its backslashes), file name and extension (with its dot).
struct PathParts {
    WCHAR szDrive[DRIVE_UNITS];
    WCHAR szDir[PART_UNITS];
    WCHAR szFname[PART_UNITS];
    WCHAR szExt[PART_UNITS];
};

// FALSE when a part does not fit its buffer.
BOOL SplitPath(const WCHAR *pszPath, PathParts *pParts);
