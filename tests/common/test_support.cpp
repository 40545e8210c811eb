// Scratch folders and file helpers for the tests.
#include "test_support.h"

#include <strsafe.h>

static volatile LONG s_nTempDirs = 0;

TempDir::TempDir()
{
    WCHAR szTemp[MAX_PATH];
    GetTempPathW(MAX_PATH, szTemp);
    WCHAR szName[MAX_PATH];
    StringCchPrintfW(szName, MAX_PATH, L"%skolbrin-%lu-%lu-%ld", szTemp, GetCurrentProcessId(), GetTickCount(),
                     InterlockedIncrement(&s_nTempDirs));
    m_path = szName;
    RemoveTree(m_path);
    CreateDirectoryW(m_path.c_str(), NULL);
}

TempDir::~TempDir() { RemoveTree(m_path); }

bool MakeDirs(const std::wstring &path)
{
    if (path.empty()) return false;
    DWORD dwAttr = GetFileAttributesW(path.c_str());
    if (dwAttr != INVALID_FILE_ATTRIBUTES) return (dwAttr & FILE_ATTRIBUTE_DIRECTORY) != 0;
    size_t pos = path.find_last_of(L"\\/");
    if (pos != std::wstring::npos && pos > 2) MakeDirs(path.substr(0, pos));
    return CreateDirectoryW(path.c_str(), NULL) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool MakeEmptyFiles(const std::wstring &path, int nFolders, int nPerFolder)
{
    // Spread over folders: Wine looks up every new name in its whole folder.
    for (int d = 0; d < nFolders; ++d) {
        std::wstring sub = path + L"\\" + std::to_wstring(d);
        if (!MakeDirs(sub)) return false;
        for (int f = 0; f < nPerFolder; ++f) {
            HANDLE h = CreateFileW((sub + L"\\" + std::to_wstring(f)).c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, NULL);
            if (h == INVALID_HANDLE_VALUE) return false;
            CloseHandle(h);
        }
    }
    return true;
}

static bool WriteRaw(const std::wstring &path, const void *pData, size_t cb)
{
    size_t pos = path.find_last_of(L"\\/");
    if (pos != std::wstring::npos) MakeDirs(path.substr(0, pos));
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE) return false;
    const BYTE *p = static_cast<const BYTE *>(pData);
    bool bOk = true;
    while (cb > 0 && bOk) {
        DWORD dwChunk = cb > (1u << 30) ? (1u << 30) : static_cast<DWORD>(cb);
        DWORD dwWritten = 0;
        bOk = WriteFile(h, p, dwChunk, &dwWritten, NULL) && dwWritten == dwChunk;
        p += dwChunk;
        cb -= dwChunk;
    }
    CloseHandle(h);
    return bOk;
}

bool WriteFileBytes(const std::wstring &path, const std::string &bytes)
{
    return WriteRaw(path, bytes.data(), bytes.size());
}

bool WriteFileBytes(const std::wstring &path, const std::vector<unsigned char> &bytes)
{
    return WriteRaw(path, bytes.data(), bytes.size());
}

std::vector<unsigned char> ReadFileBytes(const std::wstring &path)
{
    std::vector<unsigned char> data;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE) return data;
    LARGE_INTEGER size;
    if (GetFileSizeEx(h, &size) && size.QuadPart > 0) {
        data.resize(static_cast<size_t>(size.QuadPart));
        DWORD dwRead = 0;
        if (!ReadFile(h, data.data(), static_cast<DWORD>(data.size()), &dwRead, NULL)) dwRead = 0;
        data.resize(dwRead);
    }
    CloseHandle(h);
    return data;
}

bool FileExists(const std::wstring &path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void RemoveTree(const std::wstring &path)
{
    DWORD dwAttr = GetFileAttributesW(path.c_str());
    if (dwAttr == INVALID_FILE_ATTRIBUTES) return;
    if (!(dwAttr & FILE_ATTRIBUTE_DIRECTORY)) {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
        return;
    }
    WIN32_FIND_DATAW fd;
    HANDLE hFind = FindFirstFileW((path + L"\\*").c_str(), &fd);
    if (hFind != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = fd.cFileName;
            if (name != L"." && name != L"..") RemoveTree(path + L"\\" + name);
        } while (FindNextFileW(hFind, &fd));
        FindClose(hFind);
    }
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(path.c_str());
}

std::string ToAnsi(const std::wstring &text)
{
    int cb = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, NULL, 0, NULL, NULL);
    std::string out(cb > 0 ? cb - 1 : 0, '\0');
    if (cb > 1) WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, &out[0], cb, NULL, NULL);
    return out;
}
