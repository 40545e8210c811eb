// ZIP records on disk, the CRC-32 and the traditional PKWARE entry encryption.
#pragma once

#include <stdio.h>

#include "common/common.h"

struct LocalFileHeader {
    DWORD dwSignature;
    WORD wVersionNeeded;
    WORD wFlags;
    WORD wMethod;
    WORD wModTime;
    WORD wModDate;
    DWORD dwCrc32;
    DWORD dwCompressedSize;
    DWORD dwUncompressedSize;
    WORD wNameLength;
    WORD wExtraLength;
    const char *pName;
    const BYTE *pExtra;
};

struct CentralFileHeader {
    DWORD dwSignature;
    WORD wVersionMadeBy;
    WORD wVersionNeeded;
    WORD wFlags;
    WORD wMethod;
    WORD wModTime;
    WORD wModDate;
    DWORD dwCrc32;
    DWORD dwCompressedSize;
    DWORD dwUncompressedSize;
    WORD wNameLength;
    WORD wExtraLength;
    WORD wCommentLength;
    WORD wDiskNumberStart;
    WORD wInternalAttributes;
    DWORD dwExternalAttributes;
    DWORD dwLocalHeaderOffset;
    const char *pName;
    const BYTE *pExtra;
    const BYTE *pComment;
};

struct EndOfCentralDirRecord {
    DWORD dwSignature;
    WORD wDiskNumber;
    WORD wCentralDirDisk;
    WORD wEntriesOnDisk;
    WORD wEntriesTotal;
    DWORD dwCentralDirSize;
    DWORD dwCentralDirOffset;
    WORD wCommentLength;
    const BYTE *pComment;
};

enum {
    LOCAL_HEADER_SIZE = 30,
    CENTRAL_HEADER_SIZE = 46,
    END_RECORD_SIZE = 22,
    ENCRYPTION_HEADER_SIZE = 12
};

extern DWORD g_dwCrcTable[256];
extern DWORD g_dwKeys[3];

void MakeCrcTable(void);
DWORD UpdateCrc(DWORD dwStart, DWORD dwLength, const BYTE *pData);
void InitKeysAndHeader(const char *pszPassword, BYTE *pHeader, BYTE bCheck);
void EncryptBuffer(BYTE *pBuffer, int nLength);

// Each writer returns FALSE when the stream did not take every byte.
BOOL WriteLocalHeader(const LocalFileHeader *pRecord, FILE *pStream);
BOOL WriteCentralHeader(const CentralFileHeader *pRecord, FILE *pStream);
BOOL WriteEndRecord(const EndOfCentralDirRecord *pRecord, FILE *pStream);
void CopyLocalToCentral(const LocalFileHeader *pSource, CentralFileHeader *pDest);

// The random source of the encryption headers; tests may replace it with a fixed sequence.
struct ArchivePlatform {
    BOOL (*pfnGenRandom)(BYTE *pBuffer, ULONG cbBuffer);
};
extern ArchivePlatform g_ArchivePlatform;

// Set by InitKeysAndHeader when the random source failed (the header is then unusable);
// the builder clears it before the first entry and refuses the archive when it is set.
extern BOOL g_bRandomFailed;
