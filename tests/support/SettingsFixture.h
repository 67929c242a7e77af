// Fixtures for tests of fetches: values of the control's settings key
// (kConnectionSettingsKey under HKEY_LOCAL_MACHINE), files published on the
// test runner's peers, and the fetches' temporary files, of which a test may
// leave none behind.
#pragma once

#include "CallerTrace.h"
#include "TestEnv.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <set>
#include <string>

// One value of the settings key, which is created when needed.
void SetText(const char* pszName, const std::string& text, DWORD type = REG_SZ, const CCallerTrace& = {});
void SetDword(const char* pszName, DWORD value, const CCallerTrace& = {});
// SOCKS through dante on loopback, with its account's user name and the
// given password.
void UseDante(DWORD version = 5, bool bAuthenticate = true, const std::string& password = testenv::ProxyPassword(),
              const CCallerTrace& = {});

// Files written into a directory a peer serves (testenv::WebRoot(),
// FtpRoot(), ...) and deleted after the test.
class CPublishFixture : public ::testing::Test
{
protected:
    void Publish(const std::string& root, const std::string& name, const std::string& content,
                 const CCallerTrace& = {});

private:
    CTrackedFiles m_published;
};

// A settings key of nothing but the probe's target, lighttpd, for each test,
// deleted after it, with the fetches' temporary files that the test added.
// Only for tests that hold the settings key's lock (RESOURCE_LOCK
// connection-settings-key in tests/CMakeLists.txt), which keeps the fetches
// of other tests, and their temporary files, away meanwhile.
class CSettingsFixture : public CPublishFixture
{
protected:
    void SetUp() override;
    void TearDown() override;

    // The fetches' temporary files that the test added.
    std::set<std::string> NewTempFiles() const;

    // The fetches' temporary files before the test.
    std::set<std::string> m_before;
};
