// Input collection: entry names and paths, the empty-folder flag, limits and result codes.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "input/input_collection.h"
#include "test_support.h"

namespace {

struct Collected {
    int nResult;
    int nCount;
    std::map<std::string, std::wstring> names;   // entry name -> path
    LONG bEmptyDir;
};

Collected Collect(const std::vector<std::wstring> &items)
{
    std::vector<std::wstring> args{L"C:\\kolbrin.exe"};
    args.insert(args.end(), items.begin(), items.end());
    std::vector<LPWSTR> argv;
    for (auto &a : args) argv.push_back(&a[0]);
    Collected c;
    FileTable *pTable = NULL;
    c.nCount = -1;
    c.nResult = CollectInputs(static_cast<int>(argv.size()), argv.data(), &c.nCount, &pTable);
    EXPECT_EQ(&g_FileTable, pTable);
    for (int i = 0; i < c.nCount; ++i) c.names[pTable->aEntries[i].szName] = pTable->aEntries[i].szPath;
    c.bEmptyDir = g_bEmptyDir;
    return c;
}

class CollectInputsTest : public ::testing::Test {
protected:
    void SetUp() override { g_bCancel = 0; }
    void TearDown() override { g_bCancel = 0; }
    TempDir m_dir;
};

TEST_F(CollectInputsTest, NamesFilesAndNestedFoldersAndSkipsDotFolders)
{
    std::wstring photos = m_dir / L"Photos";
    ASSERT_TRUE(WriteFileBytes(photos + L"\\a.jpg", std::string("a")));
    ASSERT_TRUE(WriteFileBytes(photos + L"\\2010\\b.jpg", std::string("b")));
    ASSERT_TRUE(WriteFileBytes(photos + L"\\.git\\config", std::string("c")));
    ASSERT_TRUE(WriteFileBytes(photos + L"\\.gitignore", std::string("d")));
    ASSERT_TRUE(WriteFileBytes(m_dir / L"report.txt", std::string("r")));
    ASSERT_TRUE(WriteFileBytes(m_dir / L"other\\report.txt", std::string("r2")));

    // The file given in another case keeps the case of the command line.
    Collected c = Collect({photos, m_dir / L"REPORT.TXT", m_dir / L"other\\report.txt"});
    EXPECT_EQ(0, c.nResult);
    EXPECT_EQ(5, c.nCount);
    std::map<std::string, std::wstring> expected{
        {"Photos/a.jpg", photos + L"\\a.jpg"},
        {"Photos/2010/b.jpg", photos + L"\\2010\\b.jpg"},
        {"Photos/.gitignore", photos + L"\\.gitignore"},
        {"REPORT.TXT", m_dir / L"REPORT.TXT"},
        {"report.txt", m_dir / L"other\\report.txt"},
    };
    EXPECT_EQ(expected, c.names);
    EXPECT_EQ(0, c.bEmptyDir);
}

TEST_F(CollectInputsTest, EmptyFoldersSetTheFlagWhereverTheyAre)
{
    ASSERT_TRUE(WriteFileBytes(m_dir / L"full\\f.txt", std::string("f")));
    ASSERT_TRUE(WriteFileBytes(m_dir / L"nested\\f.txt", std::string("f")));
    ASSERT_TRUE(MakeDirs(m_dir / L"nested\\empty"));
    ASSERT_TRUE(MakeDirs(m_dir / L"top"));
    ASSERT_TRUE(WriteFileBytes(m_dir / L"onlydots\\.git\\x", std::string("x")));
    ASSERT_TRUE(MakeDirs(m_dir / L"onlyempty\\a\\b"));

    struct Case {
        std::vector<std::wstring> items;
        int nCount;
        LONG bEmptyDir;
    } cases[] = {
        {{m_dir / L"full"}, 1, 0},
        {{m_dir / L"nested"}, 1, 1},
        {{m_dir / L"top", m_dir / L"full"}, 1, 1},
        {{m_dir / L"onlydots"}, 0, 1},
        {{m_dir / L"onlyempty", m_dir / L"top"}, 0, 1},
        {{}, 0, 0},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.items.empty() ? L"(none)" : k.items[0]);
        Collected c = Collect(k.items);
        EXPECT_EQ(0, c.nResult);
        EXPECT_EQ(k.nCount, c.nCount);
        EXPECT_EQ(k.bEmptyDir, c.bEmptyDir);
    }
}

TEST_F(CollectInputsTest, JapaneseNamesBecomeCp932AndKeepTrailBytes5C)
{
    // 表 is 95 5C and ソ is 83 5C in code page 932: the trail byte must not turn into a slash.
    ASSERT_EQ(932u, GetACP());
    ASSERT_TRUE(WriteFileBytes(m_dir / L"資料\\表ソ.txt", std::string("x")));
    Collected c = Collect({m_dir / L"資料"});
    ASSERT_EQ(0, c.nResult);
    ASSERT_EQ(1, c.nCount);
    EXPECT_EQ(std::string("\x8E\x91\x97\xBF/\x95\x5C\x83\x5C.txt"), c.names.begin()->first);
}

TEST_F(CollectInputsTest, AMissingItemEndsWithTheEarlierItemsKept)
{
    ASSERT_TRUE(WriteFileBytes(m_dir / L"a.txt", std::string("a")));
    ASSERT_TRUE(WriteFileBytes(m_dir / L"b.txt", std::string("b")));
    Collected c = Collect({m_dir / L"a.txt", m_dir / L"missing.txt", m_dir / L"b.txt"});
    EXPECT_EQ(BUILD_ITEM_NOT_FOUND, c.nResult);
    EXPECT_EQ(1, c.nCount);
}

TEST_F(CollectInputsTest, CancelEndsAfterTheItemInHand)
{
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(WriteFileBytes(m_dir / (L"d\\" + std::to_wstring(i)), std::string("x")));
    ASSERT_TRUE(WriteFileBytes(m_dir / L"e.txt", std::string("e")));
    g_bCancel = 1;
    Collected walk = Collect({m_dir / L"d"});
    EXPECT_EQ(BUILD_CANCELLED, walk.nResult);
    EXPECT_LT(walk.nCount, 2);
    Collected file = Collect({m_dir / L"e.txt", m_dir / L"d"});
    EXPECT_EQ(BUILD_CANCELLED, file.nResult);
    EXPECT_EQ(1, file.nCount);
}

TEST_F(CollectInputsTest, TheTableHolds10000FilesAndRefusesOneMore)
{
    std::wstring many = m_dir / L"many";
    ASSERT_TRUE(MakeEmptyFiles(many, 100, 100));
    ASSERT_TRUE(WriteFileBytes(m_dir / L"one.txt", std::string("1")));

    Collected all = Collect({many});
    EXPECT_EQ(0, all.nResult);
    EXPECT_EQ(FILE_TABLE_SIZE, all.nCount);

    Collected named = Collect({many, m_dir / L"one.txt"});
    EXPECT_EQ(BUILD_TOO_MANY_FILES, named.nResult);
    EXPECT_EQ(FILE_TABLE_SIZE, named.nCount);

    ASSERT_TRUE(WriteFileBytes(many + L"\\50\\extra", std::string()));
    Collected walked = Collect({many});
    EXPECT_EQ(BUILD_TOO_MANY_FILES, walked.nResult);
    EXPECT_EQ(FILE_TABLE_SIZE, walked.nCount);
}

// A component of n katakana characters: 2 bytes each in code page 932, 3 in the Unix file name.
std::wstring Kana(size_t n) { return std::wstring(n, L'ア'); }

TEST_F(CollectInputsTest, TextThatDoesNotFitIsRefusedNeverCut)
{
    // ANSI form of the entry name: "k/" + 80 kana + "/" + 48 kana is 259 bytes.
    std::wstring k = m_dir / L"k";
    std::wstring deep = k + L"\\" + Kana(80);
    ASSERT_TRUE(WriteFileBytes(deep + L"\\" + Kana(48), std::string("fits")));
    Collected fits = Collect({k});
    EXPECT_EQ(0, fits.nResult);
    ASSERT_EQ(1, fits.nCount);
    EXPECT_EQ(259u, fits.names.begin()->first.size());

    ASSERT_TRUE(WriteFileBytes(deep + L"\\" + Kana(48) + L"x", std::string("too long")));   // 260 bytes
    Collected tooLongName = Collect({k});
    EXPECT_EQ(BUILD_PATH_TOO_LONG, tooLongName.nResult);
    for (auto &e : tooLongName.names) EXPECT_LE(e.first.size(), 259u);

    // A full path of 260 units inside a walk, and an argument of 260 units.
    std::wstring longDir = m_dir / L"l";
    std::wstring name(259 - longDir.size(), L'n');   // longDir + "\" + name is 260 units
    ASSERT_TRUE(MakeDirs(longDir));
    WCHAR szCurrent[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, szCurrent);
    ASSERT_TRUE(SetCurrentDirectoryW(longDir.c_str()));
    HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
    SetCurrentDirectoryW(szCurrent);
    ASSERT_NE(INVALID_HANDLE_VALUE, h) << GetLastError();
    CloseHandle(h);
    EXPECT_EQ(BUILD_PATH_TOO_LONG, Collect({longDir}).nResult);
    EXPECT_EQ(BUILD_PATH_TOO_LONG, Collect({longDir + L"\\" + name}).nResult);
}

TEST(ToForwardSlashes, ReplacesBackslashesOnly)
{
    WCHAR sz[] = L"a\\表\\\\b/c";
    ToForwardSlashes(sz);
    EXPECT_STREQ(L"a/表//b/c", sz);
}

}  // namespace
