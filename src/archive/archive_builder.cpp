// Builds the encrypted archive from the command-line items: collection, the first pass over the
// files, naming, the entries with their back-patch, the central directory and the end record.
#include "archive/archive_builder.h"

#include <commctrl.h>
#include <share.h>
#include <shlobj.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

#include "archive/zip_format.h"
#include "input/input_collection.h"
#include "resource.h"

enum {
    OUTPUT_CHUNK_BYTES = 16384
};

static const __int64 MAX_ZIP32 = 0xFFFFFFFFLL;

// The progress dialog is read afresh before each send: it may be gone at any moment.
static void SendRange(int nFiles)
{
    HWND hwndDialog = g_hwndProgress;
    if (hwndDialog != NULL) {
        SendMessageW(GetDlgItem(hwndDialog, IDC_PROGRESSBAR), PBM_SETRANGE32, 0, static_cast<LPARAM>(nFiles));
    }
}

static void SendProgress(const WCHAR *pszText, int nPosition)
{
    HWND hwndDialog = g_hwndProgress;
    if (hwndDialog != NULL) {
        SendMessageW(hwndDialog, WM_APP_PROGRESS, reinterpret_cast<WPARAM>(pszText), static_cast<LPARAM>(nPosition));
    }
}

// First pass for one file: fixed fields, DOS time, name, size and attribute word.
static BuildResult ReadFileStatus(const FileEntry *pEntry, LocalFileHeader *pLocal, CentralFileHeader *pCentral)
{
    pLocal->dwSignature = 0x04034B50;
    pLocal->wVersionNeeded = 20;
    pLocal->wFlags = 0x0001;
    pLocal->wMethod = 8;

    // Opened unshared on purpose: a file another program holds open is refused here.
    HANDLE hFile = CreateFileW(pEntry->szPath, GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE) return BUILD_CANNOT_OPEN_FOR_TIME;
    FILETIME ftWrite;
    BOOL bTime = GetFileTime(hFile, NULL, NULL, &ftWrite);
    CloseHandle(hFile);

    FILETIME ftLocal;
    WORD wDate = 0, wTime = 0;
    if (!bTime || !FileTimeToLocalFileTime(&ftWrite, &ftLocal) || !FileTimeToDosDateTime(&ftLocal, &wDate, &wTime)) {
        return BUILD_BAD_FILE_TIME;
    }
    pLocal->wModTime = wTime;
    pLocal->wModDate = wDate;

    pLocal->pName = pEntry->szName;
    pLocal->wNameLength = static_cast<WORD>(strnlen(pEntry->szName, ENTRY_NAME_BYTES - 1));

    // The size is read in 64 bits so that a file of 4 GiB or more is refused, not truncated.
    WIN32_FILE_ATTRIBUTE_DATA status;
    if (!GetFileAttributesExW(pEntry->szPath, GetFileExInfoStandard, &status)) return BUILD_CANNOT_STAT;
    if (status.nFileSizeHigh != 0) return BUILD_FILE_TOO_LARGE;
    pLocal->dwUncompressedSize = status.nFileSizeLow;

    pCentral->dwSignature = 0x02014B50;
    pCentral->wVersionMadeBy = 20;
    pCentral->dwExternalAttributes = status.dwFileAttributes;
    return BUILD_OK;
}

// Chooses "name.zip", then "name (1).zip" .. "name (99).zip" beside the first item.
static BuildResult ChooseArchivePath(const WCHAR *pszFirstItem, WCHAR *pszPath)
{
    PathParts parts;
    if (!SplitPath(pszFirstItem, &parts)) return BUILD_PATH_TOO_LONG;
    for (int n = 0; n <= 99; ++n) {
        BOOL bFits = (n == 0) ? FormatPath(pszPath, L"%s%s%s.zip", parts.szDrive, parts.szDir, parts.szFname)
                              : FormatPath(pszPath, L"%s%s%s (%d).zip", parts.szDrive, parts.szDir, parts.szFname, n);
        if (!bFits) return BUILD_PATH_TOO_LONG;
        // Anything at the path, a folder too, makes the name taken.
        if (GetFileAttributesW(pszPath) == INVALID_FILE_ATTRIBUTES) return BUILD_OK;
    }
    pszPath[0] = L'\0';
    return BUILD_NO_FREE_NAME;
}

// The archive position, which must stay within the 32-bit fields of the format.
static BuildResult TellArchive(FILE *pArchive, __int64 *pPosition)
{
    *pPosition = _ftelli64(pArchive);
    if (*pPosition < 0) return BUILD_WRITE_FAILED;
    if (*pPosition > MAX_ZIP32) return BUILD_FILE_TOO_LARGE;
    return BUILD_OK;
}

static BOOL WriteLe32(DWORD dw, FILE *pStream)
{
    BYTE ab[4] = {static_cast<BYTE>(dw), static_cast<BYTE>(dw >> 8), static_cast<BYTE>(dw >> 16),
                  static_cast<BYTE>(dw >> 24)};
    return fwrite(ab, 1, sizeof(ab), pStream) == sizeof(ab);
}

BuildResult CreateEncryptedZip(const char *pszPassword, WCHAR *pszOutPath, int nArgs, LPWSTR *ppszArgs)
{
    BuildResult nResult = BUILD_OK;
    FileTable *pTable = NULL;
    int nFiles = 0;
    LocalFileHeader *pLocal = NULL;
    CentralFileHeader *pCentral = NULL;
    EndOfCentralDirRecord endRecord;
    FILE *pArchive = NULL;
    FILE *pInput = NULL;
    BYTE *pContents = NULL;
    z_stream stream;
    BOOL bStreamReady = FALSE;
    BYTE abChunk[OUTPUT_CHUNK_BYTES];
    BYTE abHeader[ENCRYPTION_HEADER_SIZE];
    WCHAR szArchive[PATH_UNITS];
    WCHAR szDisplay[PATH_UNITS];
    __int64 nDataStart = 0;
    __int64 nCentralOffset = 0;
    __int64 nPosition = 0;

    nResult = CollectInputs(nArgs, ppszArgs, &nFiles, &pTable);
    if (nResult != BUILD_OK) goto cleanup;
    if (nFiles == 0) {
        nResult = BUILD_NO_FILES;
        goto cleanup;
    }

    SendRange(nFiles);

    pLocal = static_cast<LocalFileHeader *>(calloc(nFiles, sizeof(LocalFileHeader)));
    pCentral = static_cast<CentralFileHeader *>(calloc(nFiles, sizeof(CentralFileHeader)));
    if (pLocal == NULL || pCentral == NULL) {
        nResult = BUILD_NO_RECORD_MEMORY;
        goto cleanup;
    }

    for (int i = 0; i < nFiles; ++i) {
        nResult = ReadFileStatus(&pTable->aEntries[i], &pLocal[i], &pCentral[i]);
        if (nResult != BUILD_OK) goto cleanup;
        if (g_bCancel) {
            nResult = BUILD_CANCELLED;
            goto cleanup;
        }
    }

    nResult = ChooseArchivePath(ppszArgs[1], szArchive);
    if (nResult != BUILD_OK) goto cleanup;
    // From here on the caller's buffer names the (partial) archive on every exit.
    CopyPath(pszOutPath, szArchive);

    pArchive = _wfsopen(szArchive, L"wb", _SH_DENYRW);
    if (pArchive == NULL) {
        nResult = BUILD_CANNOT_CREATE_ARCHIVE;
        goto cleanup;
    }

    ZeroMemory(&stream, sizeof(stream));
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        nResult = BUILD_WRITE_FAILED;
        goto cleanup;
    }
    bStreamReady = TRUE;
    MakeCrcTable();
    g_bRandomFailed = FALSE;

    for (int j = 0; j < nFiles; ++j) {
        LocalFileHeader *pRecord = &pLocal[j];
        const FileEntry *pEntry = &pTable->aEntries[j];

        PathParts parts;
        if (!SplitPath(pEntry->szPath, &parts) || !FormatPath(szDisplay, L"%s%s", parts.szFname, parts.szExt)) {
            nResult = BUILD_PATH_TOO_LONG;
            goto cleanup;
        }
        SendProgress(szDisplay, j);

        nResult = TellArchive(pArchive, &nPosition);
        if (nResult != BUILD_OK) goto cleanup;
        pCentral[j].dwLocalHeaderOffset = static_cast<DWORD>(nPosition);

        if (!WriteLocalHeader(pRecord, pArchive)) {
            nResult = BUILD_WRITE_FAILED;
            goto cleanup;
        }
        nResult = TellArchive(pArchive, &nDataStart);
        if (nResult != BUILD_OK) goto cleanup;

        if (deflateReset(&stream) != Z_OK) {
            nResult = BUILD_WRITE_FAILED;
            goto cleanup;
        }

        DWORD dwSize = pRecord->dwUncompressedSize;
        pContents = static_cast<BYTE *>(calloc(dwSize > 0 ? dwSize : 1, 1));
        if (pContents == NULL) {
            nResult = BUILD_NO_READ_MEMORY;
            goto cleanup;
        }
        pInput = _wfopen(pEntry->szPath, L"rb");
        if (pInput == NULL) {
            nResult = BUILD_CANNOT_OPEN_INPUT;
            goto cleanup;
        }
        // A file that grew since the first pass is archived with its first-pass size.
        if (fread(pContents, 1, dwSize, pInput) != dwSize) {
            nResult = BUILD_SHORT_READ;
            goto cleanup;
        }
        fclose(pInput);
        pInput = NULL;

        pRecord->dwCrc32 = UpdateCrc(0xFFFFFFFFu, dwSize, pContents);
        InitKeysAndHeader(pszPassword, abHeader, static_cast<BYTE>(pRecord->dwCrc32 >> 24));
        if (g_bRandomFailed) {
            nResult = BUILD_WRITE_FAILED;
            goto cleanup;
        }
        if (fwrite(abHeader, 1, sizeof(abHeader), pArchive) != sizeof(abHeader)) {
            nResult = BUILD_WRITE_FAILED;
            goto cleanup;
        }

        stream.next_in = pContents;
        stream.avail_in = dwSize;
        int nDeflate;
        do {
            stream.next_out = abChunk;
            stream.avail_out = OUTPUT_CHUNK_BYTES;
            nDeflate = deflate(&stream, Z_FINISH);
            if (nDeflate != Z_OK && nDeflate != Z_STREAM_END) {
                nResult = BUILD_WRITE_FAILED;
                goto cleanup;
            }
            int nProduced = OUTPUT_CHUNK_BYTES - static_cast<int>(stream.avail_out);
            EncryptBuffer(abChunk, nProduced);
            if (g_bCancel) {
                nResult = BUILD_CANCELLED;
                goto cleanup;
            }
            if (nProduced > 0 && fwrite(abChunk, 1, nProduced, pArchive) != static_cast<size_t>(nProduced)) {
                nResult = BUILD_WRITE_FAILED;
                goto cleanup;
            }
        } while (stream.avail_out == 0);
        // Z_FINISH with output room left must have ended the stream; anything else is a fault.
        if (nDeflate != Z_STREAM_END) {
            nResult = BUILD_WRITE_FAILED;
            goto cleanup;
        }

        free(pContents);
        pContents = NULL;

        nResult = TellArchive(pArchive, &nPosition);
        if (nResult != BUILD_OK) goto cleanup;
        pRecord->dwCompressedSize = static_cast<DWORD>(nPosition - nDataStart);

        if (_fseeki64(pArchive, static_cast<__int64>(pCentral[j].dwLocalHeaderOffset) + 14, SEEK_SET) != 0 ||
            !WriteLe32(pRecord->dwCrc32, pArchive) || !WriteLe32(pRecord->dwCompressedSize, pArchive) ||
            _fseeki64(pArchive, 0, SEEK_END) != 0) {
            nResult = BUILD_WRITE_FAILED;
            goto cleanup;
        }

        CopyLocalToCentral(pRecord, &pCentral[j]);
        if (g_bCancel) {
            nResult = BUILD_CANCELLED;
            goto cleanup;
        }
    }

    deflateEnd(&stream);
    bStreamReady = FALSE;

    nResult = TellArchive(pArchive, &nCentralOffset);
    if (nResult != BUILD_OK) goto cleanup;
    for (int j = 0; j < nFiles; ++j) {
        if (!WriteCentralHeader(&pCentral[j], pArchive)) {
            nResult = BUILD_WRITE_FAILED;
            goto cleanup;
        }
        if (g_bCancel) {
            nResult = BUILD_CANCELLED;
            goto cleanup;
        }
    }

    SendProgress(L"", nFiles);

    nResult = TellArchive(pArchive, &nPosition);
    if (nResult != BUILD_OK) goto cleanup;
    ZeroMemory(&endRecord, sizeof(endRecord));
    endRecord.dwSignature = 0x06054B50;
    endRecord.wEntriesOnDisk = static_cast<WORD>(nFiles);
    endRecord.wEntriesTotal = static_cast<WORD>(nFiles);
    endRecord.dwCentralDirOffset = static_cast<DWORD>(nCentralOffset);
    endRecord.dwCentralDirSize = static_cast<DWORD>(nPosition - nCentralOffset);
    if (!WriteEndRecord(&endRecord, pArchive)) {
        nResult = BUILD_WRITE_FAILED;
        goto cleanup;
    }

    // Flushed and closed before the notification, so nothing can fail once success is announced.
    {
        BOOL bFlushed = fflush(pArchive) == 0;
        BOOL bClosed = fclose(pArchive) == 0;
        pArchive = NULL;
        if (!bFlushed || !bClosed) {
            nResult = BUILD_WRITE_FAILED;
            goto cleanup;
        }
    }
    SHChangeNotify(SHCNE_CREATE, SHCNF_PATHW, szArchive, NULL);

cleanup:
    if (pArchive != NULL) fclose(pArchive);
    if (pInput != NULL) fclose(pInput);
    if (bStreamReady) deflateEnd(&stream);
    free(pContents);
    free(pLocal);
    free(pCentral);
    return nResult;
}

unsigned __stdcall WorkerThreadProc(void *pArgs)
{
    const WorkerArgs *pWorker = static_cast<const WorkerArgs *>(pArgs);
    return static_cast<unsigned>(
        CreateEncryptedZip(pWorker->pszPassword, pWorker->pszOutPath, pWorker->nArgs, pWorker->ppszArgs));
}
