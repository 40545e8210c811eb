// Reads the compiled resources back from this program (the same objects the product links):
// both dialog templates word by word, the icon groups, the version and the manifest.
#include "resource.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

const WORD JAPANESE = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);

struct Blob {
    const BYTE *p = nullptr;
    DWORD cb = 0;
};

Blob LoadBlob(LPCWSTR pszType, LPCWSTR pszName, WORD wLanguage)
{
    Blob blob;
    HRSRC hInfo = FindResourceExW(NULL, pszType, pszName, wLanguage);
    if (hInfo == NULL) {
        return blob;
    }
    blob.p = static_cast<const BYTE *>(LockResource(LoadResource(NULL, hInfo)));
    blob.cb = SizeofResource(NULL, hInfo);
    return blob;
}

Blob LoadAnyLanguage(LPCWSTR pszType, LPCWSTR pszName)
{
    Blob blob;
    HRSRC hInfo = FindResourceW(NULL, pszName, pszType);
    if (hInfo != NULL) {
        blob.p = static_cast<const BYTE *>(LockResource(LoadResource(NULL, hInfo)));
        blob.cb = SizeofResource(NULL, hInfo);
    }
    return blob;
}

// A name-or-ordinal field of a template: 0xFFFF then an ordinal, or a NUL-terminated string.
struct NameOrOrdinal {
    bool bOrdinal = false;
    WORD wOrdinal = 0;
    std::wstring name;
};

class TemplateReader {
public:
    explicit TemplateReader(const Blob &blob) : m_blob(blob) {}
    bool Ok() const { return m_bOk; }
    WORD Word() { return Take<WORD>(); }
    DWORD Dword() { return Take<DWORD>(); }
    short Short() { return Take<short>(); }
    BYTE Byte() { return Take<BYTE>(); }
    void AlignDword() { m_offset = (m_offset + 3) & ~static_cast<size_t>(3); }
    NameOrOrdinal Field()
    {
        NameOrOrdinal field;
        WORD w = Word();
        if (w == 0xFFFF) {
            field.bOrdinal = true;
            field.wOrdinal = Word();
            return field;
        }
        while (m_bOk && w != 0) {
            field.name += static_cast<wchar_t>(w);
            w = Word();
        }
        return field;
    }
    void Skip(size_t cb) { m_offset += cb; }

private:
    template <typename T> T Take()
    {
        T value{};
        if (m_offset + sizeof(T) > m_blob.cb) {
            m_bOk = false;
            return value;
        }
        memcpy(&value, m_blob.p + m_offset, sizeof(T));
        m_offset += sizeof(T);
        return value;
    }
    Blob m_blob;
    size_t m_offset = 0;
    bool m_bOk = true;
};

struct ExpectedControl {
    int nId;
    const wchar_t *pszClass;
    const wchar_t *pszText;   // NULL: the text is an ordinal
    WORD wTextOrdinal;
    DWORD dwStyle;
    DWORD dwExStyle;
    short x, y, cx, cy;
};

struct ExpectedDialog {
    int nId;
    DWORD dwStyle;
    short cx, cy;
    const wchar_t *pszCaption;
    std::vector<ExpectedControl> controls;
};

// Ordinals a template may use for the predefined classes.
std::wstring ClassName(const NameOrOrdinal &field)
{
    if (!field.bOrdinal) {
        return field.name;
    }
    switch (field.wOrdinal) {
    case 0x0080: return L"BUTTON";
    case 0x0081: return L"EDIT";
    case 0x0082: return L"STATIC";
    case 0x0083: return L"LISTBOX";
    case 0x0084: return L"SCROLLBAR";
    case 0x0085: return L"COMBOBOX";
    default: return L"#" + std::to_wstring(field.wOrdinal);
    }
}

void CheckTemplate(const ExpectedDialog &expected)
{
    Blob blob = LoadBlob(RT_DIALOG, MAKEINTRESOURCEW(expected.nId), JAPANESE);
    ASSERT_NE(nullptr, blob.p) << "no Japanese template " << expected.nId;
    TemplateReader reader(blob);

    EXPECT_EQ(1, reader.Word()) << "dlgVer";
    EXPECT_EQ(0xFFFF, reader.Word()) << "signature of an extended template";
    EXPECT_EQ(0u, reader.Dword()) << "help id";
    EXPECT_EQ(0u, reader.Dword()) << "extended style";
    EXPECT_EQ(expected.dwStyle, reader.Dword()) << "style";
    WORD cItems = reader.Word();
    ASSERT_EQ(expected.controls.size(), cItems);
    EXPECT_EQ(0, reader.Short());
    EXPECT_EQ(0, reader.Short());
    EXPECT_EQ(expected.cx, reader.Short());
    EXPECT_EQ(expected.cy, reader.Short());
    NameOrOrdinal menu = reader.Field();
    EXPECT_TRUE(!menu.bOrdinal && menu.name.empty()) << "no menu";
    NameOrOrdinal windowClass = reader.Field();
    EXPECT_TRUE(!windowClass.bOrdinal && windowClass.name.empty()) << "the standard dialog class";
    EXPECT_EQ(expected.pszCaption, reader.Field().name);
    EXPECT_EQ(8, reader.Word()) << "point size";
    EXPECT_EQ(FW_NORMAL, reader.Word()) << "weight";
    EXPECT_EQ(0, reader.Byte()) << "italic";
    EXPECT_EQ(DEFAULT_CHARSET, reader.Byte()) << "character set";
    EXPECT_EQ(L"MS Shell Dlg", reader.Field().name);

    for (const ExpectedControl &c : expected.controls) {
        SCOPED_TRACE(testing::Message() << "control " << c.nId << " " << (c.pszText ? c.pszText : L"(icon)"));
        reader.AlignDword();
        EXPECT_EQ(0u, reader.Dword()) << "help id";
        EXPECT_EQ(c.dwExStyle, reader.Dword()) << "extended style";
        EXPECT_EQ(c.dwStyle, reader.Dword()) << "style";
        EXPECT_EQ(c.x, reader.Short());
        EXPECT_EQ(c.y, reader.Short());
        EXPECT_EQ(c.cx, reader.Short());
        EXPECT_EQ(c.cy, reader.Short());
        EXPECT_EQ(static_cast<DWORD>(c.nId), reader.Dword()) << "id";
        // Window classes are matched without regard to case, so a template may store them either way.
        EXPECT_EQ(0, lstrcmpiW(c.pszClass, ClassName(reader.Field()).c_str())) << "class";
        NameOrOrdinal text = reader.Field();
        if (c.pszText == NULL) {
            EXPECT_TRUE(text.bOrdinal);
            EXPECT_EQ(c.wTextOrdinal, text.wOrdinal);
        } else {
            EXPECT_FALSE(text.bOrdinal);
            EXPECT_EQ(c.pszText, text.name);
        }
        WORD cbExtra = reader.Word();
        EXPECT_EQ(0, cbExtra) << "creation data";
        reader.Skip(cbExtra);
        ASSERT_TRUE(reader.Ok()) << "template ends early";
    }
}

TEST(DialogTemplates, PasswordDialogIsExactlyAsLaidOut)
{
    ExpectedDialog dialog = {
        IDD_PASSWORD, 0x00C800C8, 317, 121, L"暗号化圧縮 (zip 形式) フォルダー",
        {
            { -1, L"STATIC", NULL, IDI_KEY, 0x50000003, 0x00000020, 7, 7, 21, 20 },
            { -1, L"STATIC", L"圧縮 （zip 形式） フォルダを保護するためのパスワードを入力してください。", 0, 0x50020000, 0, 40, 7, 194, 20 },
            { -1, L"STATIC", L"パスワード(&P):", 0, 0x50020000, 0x00001000, 7, 42, 96, 9 },
            { IDC_PASSWORD, L"EDIT", L"", 0, 0x508100A0, 0, 107, 39, 127, 14 },
            { -1, L"STATIC", L"パスワードの確認入力(&C):", 0, 0x50020000, 0x00001000, 7, 68, 96, 9 },
            { IDC_CONFIRM, L"EDIT", L"", 0, 0x508100A0, 0, 107, 65, 127, 14 },
            { IDC_SHOWPASSWORD, L"BUTTON", L"表示(&V)", 0, 0x50010003, 0, 107, 89, 63, 8 },
            { IDOK, L"BUTTON", L"OK", 0, 0x50010001, 0, 245, 7, 65, 14 },
            { IDCANCEL, L"BUTTON", L"キャンセル", 0, 0x50010000, 0, 245, 30, 65, 14 },
            { IDC_LINK_HOME, L"SysLink", L"<a>Kolbrin Ver.1.0.0</a>", 0, 0x50010000, 0, 17, 105, 105, 10 },
            { IDC_LINK_UPDATE, L"SysLink", L"<a>最新をチェックする</a>", 0, 0x50011000, 0, 205, 105, 70, 10 },
            { IDC_LINK_QA, L"SysLink", L"<a>Q&&A</a>", 0, 0x50010000, 0, 282, 105, 28, 10 },
        },
    };
    CheckTemplate(dialog);
}

TEST(DialogTemplates, ProgressDialogIsExactlyAsLaidOut)
{
    ExpectedDialog dialog = {
        IDD_PROGRESS, 0x80C800C8, 254, 85, L"暗号化圧縮しています...",
        {
            { IDCANCEL, L"BUTTON", L"キャンセル", 0, 0x50010000, 0, 197, 64, 50, 14 },
            { IDC_PROGRESSBAR, L"msctls_progress32", L"", 0, 0x50800000, 0, 7, 40, 240, 11 },
            { IDC_STATUS, L"STATIC", L"スタティック", 0, 0x50020000, 0, 7, 15, 240, 8 },
        },
    };
    CheckTemplate(dialog);
}

TEST(DialogTemplates, TheDialogsExistOnlyInJapanese)
{
    for (int nId : { IDD_PASSWORD, IDD_PROGRESS }) {
        EXPECT_NE(nullptr, LoadBlob(RT_DIALOG, MAKEINTRESOURCEW(nId), JAPANESE).p);
        EXPECT_EQ(nullptr, LoadBlob(RT_DIALOG, MAKEINTRESOURCEW(nId), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)).p);
    }
}

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR pszName, LONG_PTR lParam)
{
    reinterpret_cast<std::vector<ULONG_PTR> *>(lParam)->push_back(
        IS_INTRESOURCE(pszName) ? reinterpret_cast<ULONG_PTR>(pszName) : 0x10000);
    return TRUE;
}

TEST(Icons, ProgramIconIsTheLowestNumberedGroup)
{
    std::vector<ULONG_PTR> names;
    EnumResourceNamesW(NULL, RT_GROUP_ICON, CollectName, reinterpret_cast<LONG_PTR>(&names));
    ASSERT_EQ(2u, names.size());
    EXPECT_EQ(static_cast<ULONG_PTR>(IDI_MAIN), *std::min_element(names.begin(), names.end()));
    EXPECT_EQ(static_cast<ULONG_PTR>(IDI_KEY), *std::max_element(names.begin(), names.end()));
}

#pragma pack(push, 2)
struct GroupEntry {
    BYTE bWidth, bHeight, bColorCount, bReserved;
    WORD wPlanes, wBitCount;
    DWORD dwBytesInRes;
    WORD nId;
};
#pragma pack(pop)

// (size, bits per pixel, stored as PNG) of every image of a group, read from the images themselves.
std::set<std::tuple<int, int, bool>> IconImages(int nGroup)
{
    std::set<std::tuple<int, int, bool>> images;
    Blob group = LoadAnyLanguage(RT_GROUP_ICON, MAKEINTRESOURCEW(nGroup));
    if (group.p == nullptr || group.cb < 6) {
        return images;
    }
    WORD cEntries;
    memcpy(&cEntries, group.p + 4, 2);
    for (WORD i = 0; i < cEntries && 6u + (i + 1u) * sizeof(GroupEntry) <= group.cb; ++i) {
        GroupEntry entry;
        memcpy(&entry, group.p + 6 + i * sizeof(GroupEntry), sizeof(entry));
        Blob image = LoadAnyLanguage(RT_ICON, MAKEINTRESOURCEW(entry.nId));
        int nSize = entry.bWidth == 0 ? 256 : entry.bWidth;
        if (image.p == nullptr || image.cb != entry.dwBytesInRes) {
            images.emplace(nSize, -1, false);
            continue;
        }
        bool bPng = image.cb > 8 && memcmp(image.p, "\x89PNG\r\n\x1a\n", 8) == 0;
        int nBits = entry.wBitCount;
        if (!bPng) {
            BITMAPINFOHEADER header;
            memcpy(&header, image.p, sizeof(header));
            EXPECT_EQ(nSize, header.biWidth);
            EXPECT_EQ(2 * nSize, header.biHeight) << "colour and mask";
            EXPECT_EQ(entry.wBitCount, header.biBitCount);
            nBits = header.biBitCount;
        }
        images.emplace(nSize, nBits, bPng);
    }
    return images;
}

TEST(Icons, ProgramIconHasEverySizeInEveryDepth)
{
    std::set<std::tuple<int, int, bool>> expected;
    for (int nBits : { 4, 8, 24, 32 }) {
        for (int nSize : { 16, 24, 32, 48, 256 }) {
            expected.emplace(nSize, nBits, nSize == 256 && nBits == 32);
        }
    }
    EXPECT_EQ(expected, IconImages(IDI_MAIN));
}

TEST(Icons, KeyIconHasItsSizesAndACompressedLargeImage)
{
    std::set<std::tuple<int, int, bool>> expected;
    for (int nBits : { 4, 8, 32 }) {
        for (int nSize : { 16, 24, 32, 48 }) {
            expected.emplace(nSize, nBits, false);
        }
    }
    expected.emplace(256, 32, true);
    EXPECT_EQ(expected, IconImages(IDI_KEY));
}

TEST(Icons, BothLoadAtTheSmallSize)
{
    for (int nId : { IDI_MAIN, IDI_KEY }) {
        HICON hIcon = static_cast<HICON>(LoadImageW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(nId), IMAGE_ICON, 16, 16, 0));
        EXPECT_NE(static_cast<HICON>(NULL), hIcon) << nId;
        if (hIcon != NULL) {
            DestroyIcon(hIcon);
        }
    }
}

std::wstring VersionString(const BYTE *pInfo, const wchar_t *pszName)
{
    std::wstring query = std::wstring(L"\\StringFileInfo\\000004b0\\") + pszName;
    void *pValue = nullptr;
    UINT cch = 0;
    if (!VerQueryValueW(pInfo, query.c_str(), &pValue, &cch) || pValue == nullptr) {
        return L"(missing)";
    }
    return static_cast<const wchar_t *>(pValue);
}

TEST(VersionResource, NumbersStringsAndTranslation)
{
    WCHAR szPath[MAX_PATH];
    ASSERT_NE(0u, GetModuleFileNameW(NULL, szPath, MAX_PATH));
    DWORD dwHandle = 0;
    DWORD cbInfo = GetFileVersionInfoSizeW(szPath, &dwHandle);
    ASSERT_NE(0u, cbInfo);
    std::vector<BYTE> info(cbInfo);
    ASSERT_TRUE(GetFileVersionInfoW(szPath, 0, cbInfo, info.data()));

    VS_FIXEDFILEINFO *pFixed = nullptr;
    UINT cb = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void **>(&pFixed), &cb));
    EXPECT_EQ(0x00010000u, pFixed->dwFileVersionMS);
    EXPECT_EQ(0x00000001u, pFixed->dwFileVersionLS);
    EXPECT_EQ(0x00010000u, pFixed->dwProductVersionMS);
    EXPECT_EQ(0x00000001u, pFixed->dwProductVersionLS);
    EXPECT_EQ(static_cast<DWORD>(VFT_APP), pFixed->dwFileType);

    WORD *pTranslation = nullptr;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void **>(&pTranslation), &cb));
    ASSERT_EQ(4u, cb);
    EXPECT_EQ(0x0000, pTranslation[0]);
    EXPECT_EQ(1200, pTranslation[1]);

    EXPECT_EQ(L"Kolbrin", VersionString(info.data(), L"FileDescription"));
    EXPECT_EQ(L"Kolbrin", VersionString(info.data(), L"ProductName"));
    EXPECT_EQ(L"kolbrin", VersionString(info.data(), L"InternalName"));
    EXPECT_EQ(L"kolbrin.exe", VersionString(info.data(), L"OriginalFilename"));
    EXPECT_EQ(L"1, 0, 0, 1", VersionString(info.data(), L"FileVersion"));
    EXPECT_EQ(L"1, 0, 0, 1", VersionString(info.data(), L"ProductVersion"));
}

TEST(Manifest, AsksForCommonControlsSixAndTheInvokersRights)
{
    Blob manifest = LoadAnyLanguage(RT_MANIFEST, MAKEINTRESOURCEW(1));
    ASSERT_NE(nullptr, manifest.p);
    std::string text(reinterpret_cast<const char *>(manifest.p), manifest.cb);
    for (const char *pszPart : {
             "<assemblyIdentity version=\"1.0.0.0\" processorArchitecture=\"X86\" name=\"Kolbrin\" type=\"win32\"/>",
             "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
             "processorArchitecture=\"X86\" publicKeyToken=\"6595b64144ccf1df\" language=\"*\"",
             "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>" }) {
        EXPECT_NE(std::string::npos, text.find(pszPart)) << pszPart;
    }
}

} // namespace
