// A small, independent ZIP reader for the tests: parses the archive bytes, checks the layout
// and decrypts and inflates entries with its own cipher, so the builder is judged from outside.
#pragma once

#include <stdint.h>
#include <string>
#include <vector>

struct ParsedEntry {
    // From the central header.
    uint16_t wVersionMadeBy, wVersionNeeded, wFlags, wMethod, wModTime, wModDate;
    uint32_t dwCrc32, dwCompressedSize, dwUncompressedSize;
    uint16_t wExtraLength, wCommentLength, wDiskNumberStart, wInternalAttributes;
    uint32_t dwExternalAttributes, dwLocalHeaderOffset;
    std::string name;
    // Where the stored data (encryption header + deflate stream) begins.
    uint32_t dwDataOffset;
};

struct ParsedArchive {
    std::vector<ParsedEntry> entries;
    uint32_t dwCentralDirOffset = 0, dwCentralDirSize = 0;
    std::vector<unsigned char> bytes;
};

// Parses and checks every structural rule (signatures, local and central copies agreeing,
// offsets, the end record at the very end). Returns an empty string or the first problem found.
std::string ParseArchive(const std::vector<unsigned char> &bytes, ParsedArchive *pArchive);

// Decrypts the 12-byte header and the data of one entry. Fills the plaintext header and the
// raw deflate stream; false when the check byte does not match the CRC's high byte.
bool DecryptEntry(const ParsedArchive &archive, const ParsedEntry &entry, const std::string &password,
                  std::vector<unsigned char> *pHeader, std::vector<unsigned char> *pDeflate);

// Decrypts bytes with a fresh key state from the password (the reader's side of the cipher).
std::vector<unsigned char> DecryptBytes(const std::string &password, const unsigned char *p, size_t n);

// Inflates a raw deflate stream; false unless it ends exactly at the end of the input.
bool InflateRaw(const std::vector<unsigned char> &deflate, std::vector<unsigned char> *pOut);

// zlib's raw deflate at the default level, as any other writer with these settings makes it.
std::vector<unsigned char> DeflateRaw(const std::vector<unsigned char> &data);

uint32_t Crc32(const std::vector<unsigned char> &data);
