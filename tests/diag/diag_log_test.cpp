// Tests of the diagnostic log: the settings and log files beside this test program, the line
// format and encoding, the error-code lines, and the path cut seen from copies of this program.
#include "diag/diag_log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace {

std::wstring ModulePath()
{
    WCHAR szPath[MAX_PATH] = {0};
    GetModuleFileNameW(NULL, szPath, MAX_PATH);
    return szPath;
}

// The module path without its extension: where this program's .ini and .log live.
std::wstring ModuleStem()
{
    std::wstring path = ModulePath();
    return path.substr(0, path.rfind(L'.'));
}

std::string ReadText(const std::wstring &path)
{
    std::vector<unsigned char> bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

void WriteSettings(const std::wstring &path, const std::string &value)
{
    ASSERT_TRUE(WriteFileBytes(path, "[Set]\r\nLogSave=" + value + "\r\n"));
}

bool IsStamp(const std::string &line)
{
    if (line.size() < 17 || line[0] != '[' || line[9] != '-' || line[16] != ']') return false;
    for (int i = 1; i < 16; i++) {
        if (i != 9 && (line[i] < '0' || line[i] > '9')) return false;
    }
    return true;
}

// The messages of the log, each line checked for its time stamp and its CR LF end.
std::vector<std::string> LogMessages(const std::string &text)
{
    std::vector<std::string> messages;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        EXPECT_NE(end, std::string::npos) << "line without CR LF: " << text.substr(start);
        if (end == std::string::npos) break;
        std::string line = text.substr(start, end - start);
        EXPECT_TRUE(IsStamp(line)) << line;
        messages.push_back(line.size() >= 17 ? line.substr(17) : line);
        start = end + 2;
    }
    return messages;
}

std::string StampNow()
{
    SYSTEMTIME st;
    GetLocalTime(&st);
    char sz[32];
    snprintf(sz, sizeof(sz), "[%04d%02d%02d-%02d%02d%02d]", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
             st.wSecond);
    return sz;
}

// Each test starts from a run that has not read its settings yet, with no files beside it.
class LogFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_settings = ModuleStem() + L".ini";
        m_log = ModuleStem() + L".log";
        Clean();
    }
    void TearDown() override { Clean(); }
    void Clean()
    {
        DeleteFileW(m_settings.c_str());
        DeleteFileW(m_log.c_str());
        g_bLogLoaded = 0;
        g_bLogSave = 0;
        g_szLogPath[0] = L'\0';
    }
    void SwitchOn() { WriteSettings(m_settings, "1"); }
    std::vector<std::string> Messages() { return LogMessages(ReadText(m_log)); }

    std::wstring m_settings;
    std::wstring m_log;
};

TEST_F(LogFiles, NoSettingsFileCreatesNoLog)
{
    for (int i = 0; i < 5; i++) {
        WriteLog(L"line %d", i);
        LogHresult(E_FAIL);
    }
    EXPECT_FALSE(FileExists(m_log));
}

TEST_F(LogFiles, LogSaveValueSwitchesTheLog)
{
    struct Case {
        const char *pszValue;
        bool bOn;
    } aCases[] = {{"1", true}, {"2", true}, {"-1", true}, {"0", false}, {"", false}, {"abc", false}};
    for (const Case &c : aCases) {
        SCOPED_TRACE(c.pszValue);
        Clean();
        WriteSettings(m_settings, c.pszValue);
        WriteLog(L"hello");
        EXPECT_EQ(FileExists(m_log), c.bOn);
    }
}

TEST_F(LogFiles, OtherSectionOrKeyLeavesTheLogOff)
{
    ASSERT_TRUE(WriteFileBytes(m_settings, "[Other]\r\nLogSave=1\r\n[Set]\r\nLogSaved=1\r\n"));
    WriteLog(L"hello");
    EXPECT_FALSE(FileExists(m_log));
}

TEST_F(LogFiles, SettingsAreReadOnceOnly)
{
    SwitchOn();
    WriteLog(L"first");
    WriteSettings(m_settings, "0");
    WriteLog(L"second");
    EXPECT_EQ(Messages(), (std::vector<std::string>{"first", "second"}));

    // Created after the first call of the run: no effect.
    Clean();
    WriteLog(L"before");
    SwitchOn();
    WriteLog(L"after");
    EXPECT_FALSE(FileExists(m_log));
}

TEST_F(LogFiles, LinesAreAppendedWithLocalTimeStamp)
{
    ASSERT_TRUE(WriteFileBytes(m_log, "earlier\r\n"));
    SwitchOn();
    std::string before = StampNow();
    WriteLog(L"hwndForeground=%d", -5);
    std::string after = StampNow();

    std::string text = ReadText(m_log);
    ASSERT_EQ(text.substr(0, 9), "earlier\r\n");
    std::string line = text.substr(9);
    ASSERT_TRUE(IsStamp(line)) << line;
    std::string stamp = line.substr(0, 17);
    EXPECT_LE(before, stamp);
    EXPECT_GE(after, stamp);
    EXPECT_EQ(line.substr(17), "hwndForeground=-5\r\n");
}

TEST_F(LogFiles, EachUnitBecomesOneByte)
{
    struct Case {
        const WCHAR *pszMessage;
        std::string expected;   // the bytes after the time stamp
    } aCases[] = {
        {L"\x30C7\x30B9\x30AF\x30C8\x30C3\x30D7", "??????\r\n"},   // デスクトップ
        {L"caf\x00E9 \x00FF\x0100", "caf\xE9 \xFF?\r\n"},
        {L"smile \xD83D\xDE00.", "smile ??.\r\n"},                  // one surrogate pair, two units
        {L"a\nb", "a\r\nb\r\n"},
        {L"a\rb", "a\rb\r\n"},
        {L"\x65E5\x672C tail", "?? tail\r\n"},
    };
    SwitchOn();
    for (const Case &c : aCases) {
        SCOPED_TRACE(c.expected);
        DeleteFileW(m_log.c_str());
        WriteLog(L"%s", c.pszMessage);
        std::string text = ReadText(m_log);
        ASSERT_TRUE(IsStamp(text)) << text;
        EXPECT_EQ(text.substr(17), c.expected);
    }
}

TEST_F(LogFiles, PercentInAnArgumentIsWrittenLiterally)
{
    SwitchOn();
    WriteLog(L"pElement->get_CurrentName->%s", L"100%d %s %%.zip");
    EXPECT_EQ(Messages(), (std::vector<std::string>{"pElement->get_CurrentName->100%d %s %%.zip"}));
}

TEST_F(LogFiles, OverlongMessageIsCutAtTheBuffer)
{
    SwitchOn();
    std::wstring longText(5000, L'x');
    WriteLog(L"%s", longText.c_str());
    WriteLog(L"next");
    std::vector<std::string> messages = Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], std::string(MESSAGE_UNITS - 2, 'x'));
    EXPECT_EQ(messages[1], "next");
}

TEST_F(LogFiles, SuccessCodesWriteNothing)
{
    SwitchOn();
    LogHresult(S_OK);
    LogHresult(S_FALSE);
    LogHresult(0x00040000);
    EXPECT_FALSE(FileExists(m_log));
}

TEST_F(LogFiles, FailingCodeWritesCodeAndSystemText)
{
    WCHAR *pszText = NULL;
    ASSERT_NE(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, NULL, E_FAIL,
                             MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPWSTR>(&pszText), 0,
                             NULL),
              0u)
        << "the system has no text for E_FAIL";
    std::wstring systemText = pszText;
    LocalFree(pszText);
    std::string systemBytes;
    for (WCHAR ch : systemText) {
        if (ch == L'\n') systemBytes += "\r\n";
        else systemBytes += ch <= 0xFF ? static_cast<char>(ch) : '?';
    }

    SwitchOn();
    LogHresult(E_FAIL);
    std::string text = ReadText(m_log);
    ASSERT_TRUE(IsStamp(text)) << text;
    EXPECT_EQ(text.substr(17), "Error code:80004005H(" + systemBytes + ")\r\n");
}

TEST_F(LogFiles, InsertInTheSystemTextIsWrittenAsItStands)
{
    // "Invalid ordinal for %1." on Windows and Wine: the text names an insert no one can fill.
    const HRESULT hr = HRESULT_FROM_WIN32(ERROR_INVALID_ORDINAL);
    WCHAR *pszText = NULL;
    if (FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
                       NULL, hr, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPWSTR>(&pszText), 0,
                       NULL) == 0) {
        GTEST_SKIP() << "no system text for this code";
    }
    std::wstring systemText = pszText;
    LocalFree(pszText);
    ASSERT_NE(systemText.find(L"%1"), std::wstring::npos);
    std::string systemBytes;
    for (WCHAR ch : systemText) {
        if (ch == L'\n') systemBytes += "\r\n";
        else systemBytes += ch <= 0xFF ? static_cast<char>(ch) : '?';
    }

    SwitchOn();
    LogHresult(hr);
    std::string text = ReadText(m_log);
    ASSERT_TRUE(IsStamp(text)) << text;
    EXPECT_EQ(text.substr(17), "Error code:800700b6H(" + systemBytes + ")\r\n");
}

TEST_F(LogFiles, CodeWithoutSystemTextGivesShortForm)
{
    // Class not registered has no text under Wine; 0xA0001234 has none anywhere.
    struct Case {
        HRESULT hr;
        const char *pszLine;
    } aCases[] = {{static_cast<HRESULT>(0xA0001234), "Error code:a0001234H"},
                  {REGDB_E_CLASSNOTREG, "Error code:80040154H"}};
    SwitchOn();
    std::vector<std::string> expected;
    for (const Case &c : aCases) {
        WCHAR *pszText = NULL;
        if (FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, NULL, c.hr,
                           MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPWSTR>(&pszText), 0,
                           NULL) != 0) {
            LocalFree(pszText);
            continue;   // this system knows the code; the long form is covered above
        }
        LogHresult(c.hr);
        expected.push_back(c.pszLine);
    }
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(Messages(), expected);
}

TEST_F(LogFiles, LockedLogLosesTheLineOnly)
{
    ASSERT_TRUE(WriteFileBytes(m_log, "kept\r\n"));
    SwitchOn();
    HANDLE hFile = CreateFileW(m_log.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
    WriteLog(L"lost");
    LogHresult(E_FAIL);
    CloseHandle(hFile);
    EXPECT_EQ(ReadText(m_log), "kept\r\n");

    WriteLog(L"written");
    std::string text = ReadText(m_log);
    ASSERT_EQ(text.substr(0, 6), "kept\r\n");
    EXPECT_EQ(LogMessages(text.substr(6)), (std::vector<std::string>{"written"}));
}

// Runs in a copy of this program (started by the tests below): one log line from there.
TEST(LogChild, DISABLED_WriteOneLine)
{
    WriteLog(L"child line");
}

// Copies this program to `exePath` and runs its one-line mode; true when it ended with 0.
bool RunCopy(const std::wstring &exePath)
{
    size_t pos = exePath.rfind(L'\\');
    if (!MakeDirs(exePath.substr(0, pos))) return false;
    if (!CopyFileW(ModulePath().c_str(), exePath.c_str(), FALSE)) return false;
    std::wstring commandLine =
        L"\"" + exePath + L"\" --gtest_filter=LogChild.DISABLED_WriteOneLine --gtest_also_run_disabled_tests";
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    std::vector<WCHAR> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    if (!CreateProcessW(exePath.c_str(), buffer.data(), NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) return false;
    DWORD dwExit = 1;
    bool bEnded = WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0;
    GetExitCodeProcess(pi.hProcess, &dwExit);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return bEnded && dwExit == 0;
}

// Every *.log below a folder, relative to it.
void FindLogs(const std::wstring &dir, const std::wstring &relative, std::vector<std::wstring> &found)
{
    WIN32_FIND_DATAW fd;
    HANDLE hFind = FindFirstFileW((dir + L"\\*").c_str(), &fd);
    if (hFind == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..") continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            FindLogs(dir + L"\\" + name, relative + name + L"\\", found);
        } else if (name.size() > 4 && name.substr(name.size() - 4) == L".log") {
            found.push_back(relative + name);
        }
    } while (FindNextFileW(hFind, &fd));
    FindClose(hFind);
}

TEST(LogPathCut, CutFallsAtTheLastDotOfTheWholePath)
{
    struct Case {
        const WCHAR *pszExe;        // the copy, relative to a scratch folder
        const WCHAR *pszSettings;   // where it reads its settings
        const WCHAR *pszLog;        // where it writes
    } aCases[] = {
        {L"tools\\pack.new\\zipper", L"tools\\pack.ini", L"tools\\pack.log"},
        {L"a\\b.c.exe", L"a\\b.c.ini", L"a\\b.c.log"},
        {L"plain\\zipper.exe", L"plain\\zipper.ini", L"plain\\zipper.log"},
    };
    for (const Case &c : aCases) {
        SCOPED_TRACE(ToAnsi(c.pszExe));
        TempDir dir;
        WriteSettings(dir / c.pszSettings, "1");
        ASSERT_TRUE(RunCopy(dir / c.pszExe));
        std::vector<std::wstring> logs;
        FindLogs(dir.Path(), L"", logs);
        EXPECT_EQ(logs, (std::vector<std::wstring>{c.pszLog}));
        EXPECT_EQ(LogMessages(ReadText(dir / c.pszLog)), (std::vector<std::string>{"child line"}));
    }
}

std::wstring FullPath(const std::wstring &path)
{
    WCHAR szFull[1024] = {0};
    GetFullPathNameW(path.c_str(), 1024, szFull, NULL);
    return szFull;
}

// `base` + folders of "d" + "\\" + `leaf`, exactly `cch` units long.
std::wstring DeepPath(const std::wstring &base, size_t cch, const std::wstring &leaf)
{
    std::wstring path = base;
    while (cch - path.size() - leaf.size() - 1 > 101) path += L"\\" + std::wstring(99, L'd');
    size_t cchRest = cch - path.size() - leaf.size() - 1;
    if (cchRest >= 2) path += L"\\" + std::wstring(cchRest - 1, L'd');
    return path + L"\\" + leaf;
}

TEST(LogPathCut, PathThatDoesNotFitWritesNoLog)
{
    struct Case {
        const char *pszWhat;
        const WCHAR *pszBase;   // first folder below the scratch folder
        size_t cchExePath;      // length of the copy's full path
        const WCHAR *pszLeaf;
        bool bLog;              // a log beside the copy (settings there switch it on)
    } aCases[] = {
        {"cut path of 255 units still fits", L"deep", 259, L"zipper.exe", true},
        {"cut path plus .log would need 261 units", L"deep", 257, L"zipper", false},
    };
    for (const Case &c : aCases) {
        SCOPED_TRACE(c.pszWhat);
        TempDir dir;
        std::wstring path = DeepPath(FullPath(dir / c.pszBase), c.cchExePath, c.pszLeaf);
        ASSERT_EQ(path.size(), c.cchExePath);
        std::wstring stem = path.substr(0, path.rfind(L'.'));
        if (c.bLog) WriteSettings(stem + L".ini", "1");
        ASSERT_TRUE(RunCopy(path)) << "the copy at " << path.size() << " units did not run";
        std::vector<std::wstring> logs;
        FindLogs(dir.Path(), L"", logs);
        if (c.bLog) {
            ASSERT_EQ(logs.size(), 1u);
            EXPECT_EQ(FullPath(dir / logs[0]), stem + L".log");
        } else {
            EXPECT_TRUE(logs.empty());
        }
    }
}

}  // namespace
