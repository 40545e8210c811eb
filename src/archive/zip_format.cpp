// ZIP records in their on-disk form, the CRC-32 and the traditional PKWARE entry encryption.
#include "archive/zip_format.h"

#include <bcrypt.h>
#include <string.h>
#include <zlib.h>

DWORD g_dwCrcTable[256];
DWORD g_dwKeys[3];
BOOL g_bRandomFailed = FALSE;

// The system's cryptographic generator: header bytes must not be predictable across runs.
static BOOL SystemGenRandom(BYTE *pBuffer, ULONG cbBuffer)
{
    return BCRYPT_SUCCESS(BCryptGenRandom(NULL, pBuffer, cbBuffer, BCRYPT_USE_SYSTEM_PREFERRED_RNG));
}

ArchivePlatform g_ArchivePlatform = {SystemGenRandom};

void MakeCrcTable(void)
{
    for (DWORD n = 0; n < 256; ++n) {
        DWORD c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        g_dwCrcTable[n] = c;
    }
}

static inline DWORD CrcStep(DWORD c, BYTE b) { return (c >> 8) ^ g_dwCrcTable[(c ^ b) & 0xFF]; }

// The register starts at dwStart as given (not inverted) and the result is its complement.
// zlib's crc32() inverts on entry and on exit, so handing it ~dwStart gives exactly that,
// several times faster than one table look-up per byte.
DWORD UpdateCrc(DWORD dwStart, DWORD dwLength, const BYTE *pData)
{
    if (dwLength == 0) return ~dwStart;
    return static_cast<DWORD>(crc32(static_cast<uLong>(~dwStart), pData, static_cast<uInt>(dwLength)));
}

static inline BYTE KeystreamByte(DWORD dwKey2)
{
    DWORD t = (dwKey2 | 2) & 0xFFFF;
    return static_cast<BYTE>(((t * (t ^ 1)) >> 8) & 0xFF);
}

static inline void UpdateKeys(DWORD *pKeys, BYTE bPlain)
{
    pKeys[0] = CrcStep(pKeys[0], bPlain);
    pKeys[1] = (pKeys[1] + (pKeys[0] & 0xFF)) * 134775813u + 1;
    pKeys[2] = CrcStep(pKeys[2], static_cast<BYTE>(pKeys[1] >> 24));
}

void InitKeysAndHeader(const char *pszPassword, BYTE *pHeader, BYTE bCheck)
{
    g_dwKeys[0] = 0x12345678u;
    g_dwKeys[1] = 0x23456789u;
    g_dwKeys[2] = 0x34567890u;
    for (const BYTE *p = reinterpret_cast<const BYTE *>(pszPassword); *p != 0; ++p) UpdateKeys(g_dwKeys, *p);

    BYTE abPlain[ENCRYPTION_HEADER_SIZE];
    if (!g_ArchivePlatform.pfnGenRandom(abPlain, ENCRYPTION_HEADER_SIZE - 1)) {
        // Never fall back to guessable bytes; the builder refuses the archive instead.
        g_bRandomFailed = TRUE;
        ZeroMemory(abPlain, sizeof(abPlain));
    }
    abPlain[ENCRYPTION_HEADER_SIZE - 1] = bCheck;
    for (int i = 0; i < ENCRYPTION_HEADER_SIZE; ++i) {
        BYTE k = KeystreamByte(g_dwKeys[2]);
        UpdateKeys(g_dwKeys, abPlain[i]);
        pHeader[i] = abPlain[i] ^ k;
    }
    SecureZeroMemory(abPlain, sizeof(abPlain));
}

void EncryptBuffer(BYTE *pBuffer, int nLength)
{
    // The keys live in locals for the loop: this runs over every compressed byte.
    DWORD k0 = g_dwKeys[0], k1 = g_dwKeys[1], k2 = g_dwKeys[2];
    for (int i = 0; i < nLength; ++i) {
        BYTE p = pBuffer[i];
        DWORD t = (k2 | 2) & 0xFFFF;
        pBuffer[i] = static_cast<BYTE>(p ^ static_cast<BYTE>((t * (t ^ 1)) >> 8));
        k0 = (k0 >> 8) ^ g_dwCrcTable[(k0 ^ p) & 0xFF];
        k1 = (k1 + (k0 & 0xFF)) * 134775813u + 1;
        k2 = (k2 >> 8) ^ g_dwCrcTable[(k2 ^ (k1 >> 24)) & 0xFF];
    }
    g_dwKeys[0] = k0;
    g_dwKeys[1] = k1;
    g_dwKeys[2] = k2;
}

static BYTE *Put16(BYTE *p, WORD w)
{
    p[0] = static_cast<BYTE>(w);
    p[1] = static_cast<BYTE>(w >> 8);
    return p + 2;
}

static BYTE *Put32(BYTE *p, DWORD dw)
{
    p[0] = static_cast<BYTE>(dw);
    p[1] = static_cast<BYTE>(dw >> 8);
    p[2] = static_cast<BYTE>(dw >> 16);
    p[3] = static_cast<BYTE>(dw >> 24);
    return p + 4;
}

static BOOL WriteBytes(const void *pData, size_t cb, FILE *pStream)
{
    return cb == 0 || fwrite(pData, 1, cb, pStream) == cb;
}

// Variable parts are written only when their pointer is set, in the order name, extra, comment.
static BOOL WriteTail(const void *pName, WORD cbName, const void *pExtra, WORD cbExtra, const void *pComment,
                      WORD cbComment, FILE *pStream)
{
    return (pName == NULL || WriteBytes(pName, cbName, pStream)) &&
           (pExtra == NULL || WriteBytes(pExtra, cbExtra, pStream)) &&
           (pComment == NULL || WriteBytes(pComment, cbComment, pStream));
}

BOOL WriteLocalHeader(const LocalFileHeader *pRecord, FILE *pStream)
{
    BYTE ab[LOCAL_HEADER_SIZE];
    BYTE *p = Put32(ab, pRecord->dwSignature);
    p = Put16(p, pRecord->wVersionNeeded);
    p = Put16(p, pRecord->wFlags);
    p = Put16(p, pRecord->wMethod);
    p = Put16(p, pRecord->wModTime);
    p = Put16(p, pRecord->wModDate);
    p = Put32(p, pRecord->dwCrc32);
    p = Put32(p, pRecord->dwCompressedSize);
    p = Put32(p, pRecord->dwUncompressedSize);
    p = Put16(p, pRecord->wNameLength);
    Put16(p, pRecord->wExtraLength);
    return WriteBytes(ab, sizeof(ab), pStream) &&
           WriteTail(pRecord->pName, pRecord->wNameLength, pRecord->pExtra, pRecord->wExtraLength, NULL, 0, pStream);
}

BOOL WriteCentralHeader(const CentralFileHeader *pRecord, FILE *pStream)
{
    BYTE ab[CENTRAL_HEADER_SIZE];
    BYTE *p = Put32(ab, pRecord->dwSignature);
    p = Put16(p, pRecord->wVersionMadeBy);
    p = Put16(p, pRecord->wVersionNeeded);
    p = Put16(p, pRecord->wFlags);
    p = Put16(p, pRecord->wMethod);
    p = Put16(p, pRecord->wModTime);
    p = Put16(p, pRecord->wModDate);
    p = Put32(p, pRecord->dwCrc32);
    p = Put32(p, pRecord->dwCompressedSize);
    p = Put32(p, pRecord->dwUncompressedSize);
    p = Put16(p, pRecord->wNameLength);
    p = Put16(p, pRecord->wExtraLength);
    p = Put16(p, pRecord->wCommentLength);
    p = Put16(p, pRecord->wDiskNumberStart);
    p = Put16(p, pRecord->wInternalAttributes);
    p = Put32(p, pRecord->dwExternalAttributes);
    Put32(p, pRecord->dwLocalHeaderOffset);
    return WriteBytes(ab, sizeof(ab), pStream) &&
           WriteTail(pRecord->pName, pRecord->wNameLength, pRecord->pExtra, pRecord->wExtraLength,
                     pRecord->pComment, pRecord->wCommentLength, pStream);
}

BOOL WriteEndRecord(const EndOfCentralDirRecord *pRecord, FILE *pStream)
{
    BYTE ab[END_RECORD_SIZE];
    BYTE *p = Put32(ab, pRecord->dwSignature);
    p = Put16(p, pRecord->wDiskNumber);
    p = Put16(p, pRecord->wCentralDirDisk);
    p = Put16(p, pRecord->wEntriesOnDisk);
    p = Put16(p, pRecord->wEntriesTotal);
    p = Put32(p, pRecord->dwCentralDirSize);
    p = Put32(p, pRecord->dwCentralDirOffset);
    Put16(p, pRecord->wCommentLength);
    return WriteBytes(ab, sizeof(ab), pStream) &&
           WriteTail(NULL, 0, NULL, 0, pRecord->pComment, pRecord->wCommentLength, pStream);
}

void CopyLocalToCentral(const LocalFileHeader *pSource, CentralFileHeader *pDest)
{
    pDest->wVersionNeeded = pSource->wVersionNeeded;
    pDest->wFlags = pSource->wFlags;
    pDest->wMethod = pSource->wMethod;
    pDest->wModTime = pSource->wModTime;
    pDest->wModDate = pSource->wModDate;
    pDest->dwCrc32 = pSource->dwCrc32;
    pDest->dwCompressedSize = pSource->dwCompressedSize;
    pDest->dwUncompressedSize = pSource->dwUncompressedSize;
    pDest->wNameLength = pSource->wNameLength;
    pDest->wExtraLength = pSource->wExtraLength;
    pDest->pName = pSource->pName;
    pDest->pExtra = pSource->pExtra;
}
