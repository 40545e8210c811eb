// The tests' own ZIP reader and reference decryptor (written from the format, not from the builder).
#include "zip_reader.h"

#include <zlib.h>

static uint16_t Get16(const std::vector<unsigned char> &b, size_t pos)
{
    return static_cast<uint16_t>(b[pos] | (b[pos + 1] << 8));
}

static uint32_t Get32(const std::vector<unsigned char> &b, size_t pos)
{
    return static_cast<uint32_t>(b[pos]) | (static_cast<uint32_t>(b[pos + 1]) << 8) |
           (static_cast<uint32_t>(b[pos + 2]) << 16) | (static_cast<uint32_t>(b[pos + 3]) << 24);
}

std::string ParseArchive(const std::vector<unsigned char> &bytes, ParsedArchive *pArchive)
{
    pArchive->entries.clear();
    pArchive->bytes = bytes;
    if (bytes.size() < 22) return "shorter than an end record";
    size_t end = bytes.size() - 22;
    if (Get32(bytes, end) != 0x06054B50) return "no end record at the end of the file";
    if (Get16(bytes, end + 4) != 0 || Get16(bytes, end + 6) != 0) return "disk numbers not 0";
    uint16_t nOnDisk = Get16(bytes, end + 8), nTotal = Get16(bytes, end + 10);
    if (nOnDisk != nTotal) return "entry counts differ";
    if (Get16(bytes, end + 20) != 0) return "archive comment present";
    pArchive->dwCentralDirSize = Get32(bytes, end + 12);
    pArchive->dwCentralDirOffset = Get32(bytes, end + 16);
    if (static_cast<uint64_t>(pArchive->dwCentralDirOffset) + pArchive->dwCentralDirSize != end)
        return "central directory does not end at the end record";

    size_t pos = pArchive->dwCentralDirOffset;
    size_t nextLocal = 0;
    for (unsigned i = 0; i < nTotal; ++i) {
        if (pos + 46 > end || Get32(bytes, pos) != 0x02014B50) return "bad central header " + std::to_string(i);
        ParsedEntry e;
        e.wVersionMadeBy = Get16(bytes, pos + 4);
        e.wVersionNeeded = Get16(bytes, pos + 6);
        e.wFlags = Get16(bytes, pos + 8);
        e.wMethod = Get16(bytes, pos + 10);
        e.wModTime = Get16(bytes, pos + 12);
        e.wModDate = Get16(bytes, pos + 14);
        e.dwCrc32 = Get32(bytes, pos + 16);
        e.dwCompressedSize = Get32(bytes, pos + 20);
        e.dwUncompressedSize = Get32(bytes, pos + 24);
        uint16_t n = Get16(bytes, pos + 28);
        e.wExtraLength = Get16(bytes, pos + 30);
        e.wCommentLength = Get16(bytes, pos + 32);
        e.wDiskNumberStart = Get16(bytes, pos + 34);
        e.wInternalAttributes = Get16(bytes, pos + 36);
        e.dwExternalAttributes = Get32(bytes, pos + 38);
        e.dwLocalHeaderOffset = Get32(bytes, pos + 42);
        if (pos + 46 + n > end) return "central name overruns";
        e.name.assign(reinterpret_cast<const char *>(&bytes[pos + 46]), n);
        pos += 46 + n + e.wExtraLength + e.wCommentLength;

        // Entries follow each other without gaps, in central directory order.
        size_t lh = e.dwLocalHeaderOffset;
        if (lh != nextLocal) return "local header " + std::to_string(i) + " not where the previous entry ended";
        if (lh + 30 > bytes.size() || Get32(bytes, lh) != 0x04034B50) return "bad local header " + std::to_string(i);
        if (Get16(bytes, lh + 4) != e.wVersionNeeded || Get16(bytes, lh + 6) != e.wFlags ||
            Get16(bytes, lh + 8) != e.wMethod || Get16(bytes, lh + 10) != e.wModTime ||
            Get16(bytes, lh + 12) != e.wModDate || Get32(bytes, lh + 14) != e.dwCrc32 ||
            Get32(bytes, lh + 18) != e.dwCompressedSize || Get32(bytes, lh + 22) != e.dwUncompressedSize ||
            Get16(bytes, lh + 26) != n || Get16(bytes, lh + 28) != e.wExtraLength)
            return "local and central headers disagree for entry " + std::to_string(i);
        if (std::string(reinterpret_cast<const char *>(&bytes[lh + 30]), n) != e.name)
            return "local and central names disagree for entry " + std::to_string(i);
        e.dwDataOffset = static_cast<uint32_t>(lh + 30 + n + e.wExtraLength);
        nextLocal = static_cast<size_t>(e.dwDataOffset) + e.dwCompressedSize;
        pArchive->entries.push_back(e);
    }
    if (pos != end) return "central directory size does not match its records";
    if (nextLocal != pArchive->dwCentralDirOffset) return "gap between the last entry and the central directory";
    return "";
}

namespace {
struct Keys {
    uint32_t k0 = 0x12345678, k1 = 0x23456789, k2 = 0x34567890;
    uint32_t table[256];
    Keys()
    {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[n] = c;
        }
    }
    uint32_t Crc(uint32_t c, unsigned char b) const { return table[(c ^ b) & 0xFF] ^ (c >> 8); }
    void Update(unsigned char p)
    {
        k0 = Crc(k0, p);
        k1 = (k1 + (k0 & 0xFF)) * 134775813u + 1;
        k2 = Crc(k2, static_cast<unsigned char>(k1 >> 24));
    }
    unsigned char Decrypt(unsigned char c)
    {
        uint16_t t = static_cast<uint16_t>(k2 | 2);
        unsigned char p = c ^ static_cast<unsigned char>((t * (t ^ 1)) >> 8);
        Update(p);
        return p;
    }
};
}  // namespace

std::vector<unsigned char> DecryptBytes(const std::string &password, const unsigned char *p, size_t n)
{
    Keys keys;
    for (unsigned char c : password) keys.Update(c);
    std::vector<unsigned char> out;
    out.reserve(n);
    for (size_t i = 0; i < n; ++i) out.push_back(keys.Decrypt(p[i]));
    return out;
}

bool DecryptEntry(const ParsedArchive &archive, const ParsedEntry &entry, const std::string &password,
                  std::vector<unsigned char> *pHeader, std::vector<unsigned char> *pDeflate)
{
    if (entry.dwCompressedSize < 12) return false;
    std::vector<unsigned char> all = DecryptBytes(password, &archive.bytes[entry.dwDataOffset], entry.dwCompressedSize);
    pHeader->assign(all.begin(), all.begin() + 12);
    pDeflate->assign(all.begin() + 12, all.end());
    return (*pHeader)[11] == static_cast<unsigned char>(entry.dwCrc32 >> 24);
}

bool InflateRaw(const std::vector<unsigned char> &deflate, std::vector<unsigned char> *pOut)
{
    z_stream s = {};
    if (inflateInit2(&s, -15) != Z_OK) return false;
    pOut->clear();
    std::vector<unsigned char> chunk(65536);
    s.next_in = const_cast<unsigned char *>(deflate.data());
    s.avail_in = static_cast<uInt>(deflate.size());
    int ret;
    do {
        s.next_out = chunk.data();
        s.avail_out = static_cast<uInt>(chunk.size());
        ret = inflate(&s, Z_NO_FLUSH);
        pOut->insert(pOut->end(), chunk.data(), chunk.data() + (chunk.size() - s.avail_out));
    } while (ret == Z_OK);
    bool ok = ret == Z_STREAM_END && s.avail_in == 0;
    inflateEnd(&s);
    return ok;
}

std::vector<unsigned char> DeflateRaw(const std::vector<unsigned char> &data)
{
    z_stream s = {};
    deflateInit2(&s, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::vector<unsigned char> out(deflateBound(&s, static_cast<uLong>(data.size())) + 16);
    s.next_in = const_cast<unsigned char *>(data.data());
    s.avail_in = static_cast<uInt>(data.size());
    s.next_out = out.data();
    s.avail_out = static_cast<uInt>(out.size());
    deflate(&s, Z_FINISH);
    out.resize(out.size() - s.avail_out);
    deflateEnd(&s);
    return out;
}

uint32_t Crc32(const std::vector<unsigned char> &data)
{
    return static_cast<uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size())));
}
