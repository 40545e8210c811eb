// The bounded text helpers: nothing is ever cut silently.
#include <gtest/gtest.h>

#include <string>

#include "common/common.h"

TEST(FormatPath, FitsUpTo259UnitsAndRefusesMore)
{
    WCHAR szBuffer[PATH_UNITS];
    std::wstring fits(259, L'a');
    EXPECT_TRUE(FormatPath(szBuffer, L"%s", fits.c_str()));
    EXPECT_EQ(fits, szBuffer);

    std::wstring tooLong(260, L'b');
    EXPECT_FALSE(FormatPath(szBuffer, L"%s", tooLong.c_str()));
    EXPECT_STREQ(L"", szBuffer);
}

TEST(FormatPath, WideStringsAndNumbersFormatAsOnWindows)
{
    WCHAR szBuffer[PATH_UNITS];
    ASSERT_TRUE(FormatPath(szBuffer, L"%s%s%s (%d).zip", L"C:", L"\\Work\\", L"報告", 12));
    EXPECT_STREQ(L"C:\\Work\\報告 (12).zip", szBuffer);
}

TEST(FormatMessageText, HoldsUpTo1023Units)
{
    WCHAR szBuffer[MESSAGE_UNITS];
    std::wstring fits(1023, L'x');
    EXPECT_TRUE(FormatMessageText(szBuffer, L"%s", fits.c_str()));
    EXPECT_FALSE(FormatMessageText(szBuffer, L"%s!", fits.c_str()));
    EXPECT_STREQ(L"", szBuffer);
}

TEST(CopyPath, RefusesTextThatDoesNotFit)
{
    WCHAR szBuffer[PATH_UNITS];
    EXPECT_TRUE(CopyPath(szBuffer, std::wstring(259, L'c').c_str()));
    EXPECT_FALSE(CopyPath(szBuffer, std::wstring(260, L'c').c_str()));
    EXPECT_STREQ(L"", szBuffer);
}

TEST(SplitPath, SplitsDriveFolderNameAndExtension)
{
    PathParts parts;
    ASSERT_TRUE(SplitPath(L"C:\\Work\\Photos.2024", &parts));
    EXPECT_STREQ(L"C:", parts.szDrive);
    EXPECT_STREQ(L"\\Work\\", parts.szDir);
    EXPECT_STREQ(L"Photos", parts.szFname);
    EXPECT_STREQ(L".2024", parts.szExt);
}

TEST(SplitPath, RefusesAPartLongerThan255Units)
{
    PathParts parts;
    std::wstring path = L"C:\\" + std::wstring(256, L'n') + L".txt";
    EXPECT_FALSE(SplitPath(path.c_str(), &parts));
}
