#include "TestFiles.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

CTempDir::CTempDir(const CCallerTrace&)
{
    char szTemp[MAX_PATH];
    const DWORD cch = GetTempPathA(sizeof(szTemp), szTemp);
    EXPECT_TRUE(cch > 0 && cch < sizeof(szTemp));
    const testing::TestInfo* pInfo = testing::UnitTest::GetInstance()->current_test_info();
    m_path = std::string(szTemp) + "vexa-" + (pInfo ? pInfo->test_suite_name() : "suite") + "-" +
             (pInfo ? pInfo->name() : "test") + "-" + std::to_string(GetCurrentProcessId());
    EXPECT_TRUE(CreateDirectoryA(m_path.c_str(), nullptr)) << m_path;
}

CTempDir::~CTempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
    EXPECT_FALSE(ec) << m_path << ": " << ec.message();
}

CCurrentDirectory::CCurrentDirectory(const std::string& dir, const CCallerTrace&)
{
    const DWORD cch = GetCurrentDirectoryA(sizeof(m_szSaved), m_szSaved);
    EXPECT_TRUE(cch > 0 && cch < sizeof(m_szSaved));
    EXPECT_TRUE(SetCurrentDirectoryA(dir.c_str())) << dir;
}

CCurrentDirectory::~CCurrentDirectory()
{
    EXPECT_TRUE(SetCurrentDirectoryA(m_szSaved));
}

std::string ReadWholeFile(const std::string& path, const CCallerTrace&)
{
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.is_open()) << path;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteWholeFile(const std::string& path, const std::string& content, const CCallerTrace&)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    EXPECT_TRUE(out.good()) << path;
}

bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadWholeFile(const std::wstring& path, const CCallerTrace&)
{
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    EXPECT_TRUE(in.is_open());
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string TempPath(const std::string& name)
{
    char dir[MAX_PATH];
    GetTempPathA(sizeof(dir), dir);
    return std::string(dir) + name;
}

std::string BinaryContent(size_t cb)
{
    std::string content(cb, '\0');
    uint32_t x = 12345;
    for (size_t i = 0; i < cb; ++i)
    {
        x = x * 1103515245 + 12345;
        content[i] = static_cast<char>(x >> 16);
    }
    content.replace(0, 6, "a\r\nb\nc");
    return content;
}

CTrackedFiles::~CTrackedFiles()
{
    for (const std::string& path : m_paths)
        DeleteFileA(path.c_str());
}

std::string CTrackedFiles::Track(const std::string& path)
{
    m_paths.push_back(path);
    return path;
}
