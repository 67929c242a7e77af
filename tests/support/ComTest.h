// Helpers for tests of the control: an OLE apartment for the whole test
// program, BSTR arguments, and the fetches' files in a temporary directory.
#pragma once

#include <gtest/gtest.h>

#include <ole2.h>
#include <windows.h>

#include <set>
#include <string>

// Initialises OLE on the test thread for the whole program:
//   const auto* const g_apartment = ::testing::AddGlobalTestEnvironment(new CComApartment);
class CComApartment : public ::testing::Environment
{
public:
    void SetUp() override { OleInitialize(nullptr); }
    void TearDown() override { OleUninitialize(); }
};

// A BSTR argument that frees itself.
class CBstrArg
{
public:
    explicit CBstrArg(const wchar_t* psz) : m_bstr(SysAllocString(psz)) {}
    explicit CBstrArg(const std::string& text) : CBstrArg(std::wstring(text.begin(), text.end()).c_str()) {}
    ~CBstrArg() { SysFreeString(m_bstr); }
    CBstrArg(const CBstrArg&) = delete;
    CBstrArg& operator=(const CBstrArg&) = delete;
    operator BSTR() const { return m_bstr; }

private:
    BSTR m_bstr;
};

// The temporary directory the control uses now, without its final separator.
std::string TempDirectory();

// Full paths of the "VEX*.tmp" files in dir (the temporary directory when
// empty): the files that fetches reserve.
std::set<std::string> VexTempFiles(const std::string& dir = std::string());
