#include "SettingsFixture.h"

#include "ComTest.h"
#include "ConnectionSettings.h"
#include "TestRegistry.h"

void SetText(const char* pszName, const std::string& text, DWORD type, const CCallerTrace&)
{
    EXPECT_EQ(testreg::SetText(HKEY_LOCAL_MACHINE, kConnectionSettingsKey, pszName, text, type), ERROR_SUCCESS)
        << pszName;
}

void SetDword(const char* pszName, DWORD value, const CCallerTrace&)
{
    EXPECT_EQ(testreg::SetDword(HKEY_LOCAL_MACHINE, kConnectionSettingsKey, pszName, value), ERROR_SUCCESS)
        << pszName;
}

void UseDante(DWORD version, bool bAuthenticate, const std::string& password, const CCallerTrace&)
{
    SetDword("ConnectSOCKS", 1);
    SetText("SOCKS_ServerAddress", "127.0.0.1");
    SetDword("SOCKS_Port", testenv::DantePort());
    SetDword("SOCKS_Version", version);
    SetDword("SOCKSAuthReqd", bAuthenticate ? 1 : 0);
    SetText("SOCKS_Username", testenv::ProxyUser());
    SetText("SOCKS_Password", password);
}

void CPublishFixture::Publish(const std::string& root, const std::string& name, const std::string& content,
                              const CCallerTrace&)
{
    WriteWholeFile(m_published.Track(root + "\\" + name), content);
}

void CSettingsFixture::SetUp()
{
    testreg::DeleteKey(HKEY_LOCAL_MACHINE, kConnectionSettingsKey);
    SetText("ProbeTarget", "127.0.0.1:" + std::to_string(testenv::LighttpdPort()));
    m_before = VexTempFiles();
}

void CSettingsFixture::TearDown()
{
    testreg::DeleteKey(HKEY_LOCAL_MACHINE, kConnectionSettingsKey);
    for (const std::string& name : NewTempFiles())
        DeleteFileA(name.c_str());
}

std::set<std::string> CSettingsFixture::NewTempFiles() const
{
    std::set<std::string> added;
    for (const std::string& name : VexTempFiles())
    {
        if (!m_before.count(name))
            added.insert(name);
    }
    return added;
}
