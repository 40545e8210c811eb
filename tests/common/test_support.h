// Fixtures shared by the test programs: a scratch folder per test and small file helpers.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

// A fresh folder under the temporary directory, removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::wstring &Path() const { return m_path; }
    // Path() + "\\" + relative
    std::wstring operator/(const std::wstring &relative) const { return m_path + L"\\" + relative; }

private:
    std::wstring m_path;
};

// Writes bytes to a file, creating the folders on the way; true on success.
bool WriteFileBytes(const std::wstring &path, const std::string &bytes);
bool WriteFileBytes(const std::wstring &path, const std::vector<unsigned char> &bytes);
// Reads a whole file; empty on failure (use FileExists to tell apart).
std::vector<unsigned char> ReadFileBytes(const std::wstring &path);
bool MakeDirs(const std::wstring &path);
// nFolders subfolders "0".."n-1" of nPerFolder empty files each; true when all were created.
bool MakeEmptyFiles(const std::wstring &path, int nFolders, int nPerFolder);
bool FileExists(const std::wstring &path);
void RemoveTree(const std::wstring &path);
// The bytes of a UTF-16 text in the ANSI code page.
std::string ToAnsi(const std::wstring &text);
