// Files for tests: a private temporary directory per test, a switched
// current directory, whole-file reads and writes, and content for them.
#pragma once

#include "CallerTrace.h"

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

// A fresh directory under the temporary directory, named after the running
// test and removed with everything in it.
class CTempDir
{
public:
    explicit CTempDir(const CCallerTrace& = {});
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    const std::string& Dir() const { return m_path; }
    std::string Path(const std::string& name) const { return m_path + "\\" + name; }

private:
    std::string m_path;
};

// Current directory switched for one test and restored after it.
class CCurrentDirectory
{
public:
    explicit CCurrentDirectory(const std::string& dir, const CCallerTrace& = {});
    ~CCurrentDirectory();
    CCurrentDirectory(const CCurrentDirectory&) = delete;
    CCurrentDirectory& operator=(const CCurrentDirectory&) = delete;

private:
    char m_szSaved[MAX_PATH];
};

// Files a test created, deleted when it goes.
class CTrackedFiles
{
public:
    CTrackedFiles() = default;
    ~CTrackedFiles();
    CTrackedFiles(const CTrackedFiles&) = delete;
    CTrackedFiles& operator=(const CTrackedFiles&) = delete;

    // Remembers path for deletion and returns it.
    std::string Track(const std::string& path);

private:
    std::vector<std::string> m_paths;
};

std::string ReadWholeFile(const std::string& path, const CCallerTrace& = {});
void WriteWholeFile(const std::string& path, const std::string& content, const CCallerTrace& = {});
bool Exists(const std::string& path);
// The same for a wide path, as the engine names the files it fetched.
std::string ReadWholeFile(const std::wstring& path, const CCallerTrace& = {});
bool Exists(const std::wstring& path);

// The path of name in the temporary directory.
std::string TempPath(const std::string& name);

// cb bytes that an ASCII-type transfer would change: every value, CR, LF,
// CR LF.
std::string BinaryContent(size_t cb);
