// The CRC-32, the entry cipher and the record writers, checked against the format's definitions.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <functional>
#include <string>
#include <vector>

#include "archive/zip_format.h"
#include "test_support.h"
#include "zip_reader.h"

namespace {

// The register as the format defines it: one table step per byte, no inversion on entry.
DWORD ReferenceUpdateCrc(DWORD c, const std::vector<unsigned char> &data)
{
    for (unsigned char b : data) c = (c >> 8) ^ g_dwCrcTable[(c ^ b) & 0xFF];
    return ~c;
}

TEST(Crc, TableIsTheReflectedZipPolynomial)
{
    MakeCrcTable();
    EXPECT_EQ(0x00000000u, g_dwCrcTable[0]);
    EXPECT_EQ(0x77073096u, g_dwCrcTable[1]);
    EXPECT_EQ(0xEDB88320u, g_dwCrcTable[128]);
    EXPECT_EQ(0x2D02EF8Du, g_dwCrcTable[255]);
}

TEST(Crc, UpdateCrcGivesTheDefinedRegisterForAnyStartAndLength)
{
    MakeCrcTable();
    const BYTE ab[] = "123456789";
    EXPECT_EQ(0xCBF43926u, UpdateCrc(0xFFFFFFFFu, 9, ab));

    std::vector<unsigned char> data(70000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 31 + (i >> 7));
    for (DWORD dwStart : {0xFFFFFFFFu, 0u, 0x12345678u}) {
        for (size_t n : {size_t(0), size_t(1), size_t(3), size_t(8), size_t(31), size_t(32), size_t(33),
                         size_t(4097), data.size()}) {
            std::vector<unsigned char> part(data.begin(), data.begin() + n);
            EXPECT_EQ(ReferenceUpdateCrc(dwStart, part), UpdateCrc(dwStart, static_cast<DWORD>(n), data.data()))
                << "start " << dwStart << " length " << n;
        }
    }
    EXPECT_EQ(~0x12345678u, UpdateCrc(0x12345678u, 0, NULL));
}

class Encrypt : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_platform = g_ArchivePlatform;
        g_ArchivePlatform.pfnGenRandom = [](BYTE *p, ULONG cb) -> BOOL {
            for (ULONG i = 0; i < cb; ++i) p[i] = static_cast<BYTE>(0xA0 + i);
            return TRUE;
        };
        MakeCrcTable();
    }
    void TearDown() override { g_ArchivePlatform = m_platform; }
    ArchivePlatform m_platform;
};

TEST_F(Encrypt, HeaderDecryptsToTheRandomBytesAndTheCheckByte)
{
    // Includes the empty password: the header then starts from the initial keys.
    for (const char *pszPassword : {"", "secret", "\x95\x5C\x83\x5C"}) {
        SCOPED_TRACE(pszPassword);
        BYTE abHeader[ENCRYPTION_HEADER_SIZE];
        InitKeysAndHeader(pszPassword, abHeader, 0x7E);
        std::vector<unsigned char> plain = DecryptBytes(pszPassword, abHeader, sizeof(abHeader));
        for (int i = 0; i < 11; ++i) EXPECT_EQ(0xA0 + i, plain[i]);
        EXPECT_EQ(0x7E, plain[11]);
    }
}

TEST_F(Encrypt, ChunksContinueTheKeyStreamOfTheHeader)
{
    std::vector<unsigned char> data(1000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 7);

    BYTE abHeader[ENCRYPTION_HEADER_SIZE];
    InitKeysAndHeader("pw", abHeader, 0);
    std::vector<unsigned char> whole = data;
    EncryptBuffer(whole.data(), static_cast<int>(whole.size()));

    InitKeysAndHeader("pw", abHeader, 0);
    std::vector<unsigned char> halves = data;
    EncryptBuffer(halves.data(), 333);
    DWORD adwKeys[3] = {g_dwKeys[0], g_dwKeys[1], g_dwKeys[2]};
    EncryptBuffer(halves.data() + 333, 0);
    EncryptBuffer(halves.data() + 333, -5);
    EXPECT_EQ(0, memcmp(adwKeys, g_dwKeys, sizeof(adwKeys))) << "an empty call changed the keys";
    EXPECT_EQ(data[333], halves[333]) << "an empty call changed the buffer";
    EncryptBuffer(halves.data() + 333, static_cast<int>(data.size() - 333));
    EXPECT_TRUE(whole == halves);

    // A reader decrypts header and data as one stream.
    std::vector<unsigned char> stream(abHeader, abHeader + sizeof(abHeader));
    stream.insert(stream.end(), whole.begin(), whole.end());
    std::vector<unsigned char> plain = DecryptBytes("pw", stream.data(), stream.size());
    EXPECT_TRUE(std::vector<unsigned char>(plain.begin() + 12, plain.end()) == data);
}

std::vector<unsigned char> WriteToFile(const std::function<BOOL(FILE *)> &write, BOOL *pbOk)
{
    TempDir dir;
    std::wstring path = dir / L"record.bin";
    FILE *f = _wfopen(path.c_str(), L"wb");
    EXPECT_TRUE(f != NULL);
    *pbOk = write(f);
    fclose(f);
    return ReadFileBytes(path);
}

std::vector<unsigned char> Bytes(std::initializer_list<int> values)
{
    std::vector<unsigned char> v;
    for (int x : values) v.push_back(static_cast<unsigned char>(x));
    return v;
}

TEST(ZipRecords, WritersEmitFieldsInOrderLittleEndianThenTheName)
{
    LocalFileHeader local = {};
    local.dwSignature = 0x04034B50;
    local.wVersionNeeded = 0x0102;
    local.wFlags = 0x0304;
    local.wMethod = 0x0506;
    local.wModTime = 0x0708;
    local.wModDate = 0x090A;
    local.dwCrc32 = 0x11121314;
    local.dwCompressedSize = 0x21222324;
    local.dwUncompressedSize = 0x31323334;
    local.wNameLength = 3;
    local.pName = "a/b";
    BOOL bOk = FALSE;
    std::vector<unsigned char> got = WriteToFile([&](FILE *f) { return WriteLocalHeader(&local, f); }, &bOk);
    EXPECT_TRUE(bOk);
    EXPECT_EQ(Bytes({0x50, 0x4B, 0x03, 0x04, 0x02, 0x01, 0x04, 0x03, 0x06, 0x05, 0x08, 0x07, 0x0A, 0x09,
                     0x14, 0x13, 0x12, 0x11, 0x24, 0x23, 0x22, 0x21, 0x34, 0x33, 0x32, 0x31, 3, 0, 0, 0,
                     'a', '/', 'b'}),
              got);

    CentralFileHeader central = {};
    central.dwSignature = 0x02014B50;
    central.wVersionMadeBy = 20;
    central.dwExternalAttributes = 0x41424344;
    central.dwLocalHeaderOffset = 0x51525354;
    central.wInternalAttributes = 0x6162;
    CopyLocalToCentral(&local, &central);
    got = WriteToFile([&](FILE *f) { return WriteCentralHeader(&central, f); }, &bOk);
    EXPECT_TRUE(bOk);
    EXPECT_EQ(Bytes({0x50, 0x4B, 0x01, 0x02, 20, 0, 0x02, 0x01, 0x04, 0x03, 0x06, 0x05, 0x08, 0x07, 0x0A, 0x09,
                     0x14, 0x13, 0x12, 0x11, 0x24, 0x23, 0x22, 0x21, 0x34, 0x33, 0x32, 0x31, 3, 0, 0, 0,
                     0, 0, 0, 0, 0x62, 0x61, 0x44, 0x43, 0x42, 0x41, 0x54, 0x53, 0x52, 0x51, 'a', '/', 'b'}),
              got);

    EndOfCentralDirRecord end = {};
    end.dwSignature = 0x06054B50;
    end.wEntriesOnDisk = 0x0102;
    end.wEntriesTotal = 0x0304;
    end.dwCentralDirSize = 0x11121314;
    end.dwCentralDirOffset = 0x21222324;
    got = WriteToFile([&](FILE *f) { return WriteEndRecord(&end, f); }, &bOk);
    EXPECT_TRUE(bOk);
    EXPECT_EQ(Bytes({0x50, 0x4B, 0x05, 0x06, 0, 0, 0, 0, 0x02, 0x01, 0x04, 0x03, 0x14, 0x13, 0x12, 0x11,
                     0x24, 0x23, 0x22, 0x21, 0, 0}),
              got);
}

TEST(ZipRecords, WritersReportAStreamThatRefusesBytes)
{
    TempDir dir;
    std::wstring path = dir / L"readonly.bin";
    ASSERT_TRUE(WriteFileBytes(path, std::string("x")));
    FILE *f = _wfopen(path.c_str(), L"rb");   // writes to a read-only stream fail
    ASSERT_TRUE(f != NULL);
    LocalFileHeader local = {};
    local.pName = "n";
    local.wNameLength = 1;
    CentralFileHeader central = {};
    EndOfCentralDirRecord end = {};
    EXPECT_FALSE(WriteLocalHeader(&local, f));
    EXPECT_FALSE(WriteCentralHeader(&central, f));
    EXPECT_FALSE(WriteEndRecord(&end, f));
    fclose(f);
}

}  // namespace
