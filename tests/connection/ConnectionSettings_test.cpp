// The connection settings against real registry values in the emulator's
// registry: every value of the key, the type and size rules, the SOCKS number
// rules, what a missing key or a switched-off flag leaves in place, texts
// without terminator, and the probe target.
#include "ConnectionSettings.h"

#include "CallerTrace.h"
#include "ConnectionSettingsValues.h"
#include "RegistryAccess.h"
#include "RegistryValues.h"
#include "SettingsFixture.h"
#include "TestRegistry.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>

namespace {

const HKEY kRoot = HKEY_LOCAL_MACHINE;
const char* const kKey = kConnectionSettingsKey;

// "<null>" for a null string, so that null and empty differ in messages.
std::wstring Text(const CBstr& bstr)
{
    return bstr.Get() ? std::wstring(bstr.Get(), SysStringLen(bstr.Get())) : L"<null>";
}

class ConnectionSettingsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        testreg::DeleteKey(kRoot, kKey);
        ASSERT_FALSE(CRegistryAccess().KeyExists(kRoot, kKey));
    }
    void TearDown() override { testreg::DeleteKey(kRoot, kKey); }

    static void SetRaw(const char* pszName, DWORD type, const void* pData, DWORD cb, const CCallerTrace& = {})
    {
        ASSERT_EQ(testreg::Set(kRoot, kKey, pszName, type, pData, cb), ERROR_SUCCESS);
    }

    // Everything on, with a distinct value in every field.
    static void WriteFullKey(const CCallerTrace& = {})
    {
        SetDword("ConnectDUN", 1);
        SetText("DUN_Profile", "Office line");
        SetText("DUN_UserName", "dun-user");
        SetText("DUN_Password", "dun-secret");
        SetDword("UsePASV", 1);
        SetDword("ConnectSOCKS", 1);
        SetText("SOCKS_ServerAddress", "127.0.0.1");
        SetDword("SOCKS_Port", 1081);
        SetDword("SOCKS_Version", 5);
        SetDword("SOCKSAuthReqd", 1);
        SetText("SOCKS_Username", "proxy-user");
        SetText("SOCKS_Password", "proxy-secret");
    }
};

void ExpectDefaultTarget(const CConnectionSettings& s, const CCallerTrace& = {})
{
    EXPECT_STREQ(s.m_probeTarget.Host(), "1.1.1.1");
    EXPECT_EQ(s.m_probeTarget.Port(), 80);
}

TEST_F(ConnectionSettingsTest, NoKeyAtAllMeansNoDialUpNoProxyNoPassiveMode)
{
    CConnectionSettings s;
    ReadConnectionSettings(s);
    EXPECT_FALSE(s.m_bConnectDUN);
    EXPECT_FALSE(s.m_bConnectSOCKS);
    EXPECT_FALSE(s.m_bUsePASV);
    EXPECT_EQ(s.m_bstrDunProfile.Get(), nullptr);
    EXPECT_EQ(s.m_bstrSocksServerAddress.Get(), nullptr);
    ExpectDefaultTarget(s);
}

TEST_F(ConnectionSettingsTest, EveryValueOfTheKey)
{
    WriteFullKey();
    CConnectionSettings s;
    ReadConnectionSettings(s);
    EXPECT_TRUE(s.m_bConnectDUN);
    EXPECT_EQ(Text(s.m_bstrDunProfile), L"Office line");
    EXPECT_EQ(Text(s.m_bstrDunUserName), L"dun-user");
    EXPECT_EQ(Text(s.m_bstrDunPassword), L"dun-secret");
    EXPECT_TRUE(s.m_bUsePASV);
    EXPECT_TRUE(s.m_bConnectSOCKS);
    EXPECT_EQ(Text(s.m_bstrSocksServerAddress), L"127.0.0.1");
    EXPECT_EQ(s.m_nSocksPort, 1081);
    EXPECT_EQ(s.m_nSocksVersion, 5);
    EXPECT_EQ(s.m_nSocksAuthMethod, 2);
    EXPECT_EQ(Text(s.m_bstrSocksUsername), L"proxy-user");
    EXPECT_EQ(Text(s.m_bstrSocksPassword), L"proxy-secret");
    ExpectDefaultTarget(s);
}

TEST_F(ConnectionSettingsTest, AnEmptyKeyGivesTheDefaults)
{
    SetDword("ConnectDUN", 1);
    SetDword("ConnectSOCKS", 1);
    SetDword("SOCKSAuthReqd", 1);
    CConnectionSettings s;
    ReadConnectionSettings(s);
    EXPECT_TRUE(s.m_bConnectDUN);
    EXPECT_EQ(Text(s.m_bstrDunProfile), L"");
    EXPECT_EQ(Text(s.m_bstrDunUserName), L"");
    EXPECT_EQ(Text(s.m_bstrDunPassword), L"");
    EXPECT_FALSE(s.m_bUsePASV);
    EXPECT_EQ(Text(s.m_bstrSocksServerAddress), L"");
    EXPECT_EQ(s.m_nSocksPort, 1080);
    EXPECT_EQ(s.m_nSocksVersion, 0);
    EXPECT_EQ(s.m_nSocksAuthMethod, 2);
    EXPECT_EQ(Text(s.m_bstrSocksUsername), L"");
    EXPECT_EQ(Text(s.m_bstrSocksPassword), L"");
}

TEST_F(ConnectionSettingsTest, ANumberCountsOnlyAsADwordOfFourBytes)
{
    const BYTE one[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    const struct { DWORD type; DWORD cb; } cases[] = {
        {REG_DWORD, 2}, {REG_DWORD, 3}, {REG_DWORD, 8}, {REG_DWORD, 0},
        {REG_BINARY, 4}, {REG_QWORD, 8}, {REG_DWORD_BIG_ENDIAN, 4},
    };
    for (const auto& c : cases)
    {
        SetRaw("ConnectDUN", c.type, one, c.cb);
        SetRaw("UsePASV", c.type, one, c.cb);
        SetRaw("ConnectSOCKS", c.type, one, c.cb);
        CConnectionSettings s;
        s.m_bConnectDUN = s.m_bUsePASV = s.m_bConnectSOCKS = true;
        ReadConnectionSettings(s);
        EXPECT_FALSE(s.m_bConnectDUN) << "type " << c.type << " size " << c.cb;
        EXPECT_FALSE(s.m_bUsePASV) << "type " << c.type << " size " << c.cb;
        EXPECT_FALSE(s.m_bConnectSOCKS) << "type " << c.type << " size " << c.cb;
    }
}

TEST_F(ConnectionSettingsTest, StringsStoredAsExpandSzReadAsEmpty)
{
    SetDword("ConnectDUN", 1);
    SetText("DUN_Profile", "Office line", REG_EXPAND_SZ);
    SetText("DUN_UserName", "dun-user", REG_MULTI_SZ);
    SetDword("DUN_Password", 7);
    SetDword("ConnectSOCKS", 1);
    SetText("SOCKS_ServerAddress", "%COMPUTERNAME%", REG_EXPAND_SZ);
    CConnectionSettings s;
    ReadConnectionSettings(s);
    EXPECT_EQ(Text(s.m_bstrDunProfile), L"");
    EXPECT_EQ(Text(s.m_bstrDunUserName), L"");
    EXPECT_EQ(Text(s.m_bstrDunPassword), L"");
    EXPECT_EQ(Text(s.m_bstrSocksServerAddress), L"");
}

TEST_F(ConnectionSettingsTest, SocksPortRule)
{
    SetDword("ConnectSOCKS", 1);
    const struct { DWORD value; uint16_t port; } cases[] = {
        {10000, 1080}, {9999, 9999}, {0, 0}, {1, 1}, {1080, 1080}, {65535, 1080}, {0x10016, 1080},
        {0xFFFFFFFF, 1080},
    };
    for (const auto& c : cases)
    {
        SetDword("SOCKS_Port", c.value);
        CConnectionSettings s;
        ReadConnectionSettings(s);
        EXPECT_EQ(s.m_nSocksPort, c.port) << c.value;
    }

    SetText("SOCKS_Port", "2000");
    CConnectionSettings s;
    ReadConnectionSettings(s);
    EXPECT_EQ(s.m_nSocksPort, 1080);
}

TEST_F(ConnectionSettingsTest, SocksVersionKeepsTheLowSixteenBits)
{
    SetDword("ConnectSOCKS", 1);
    const struct { DWORD value; int16_t version; } cases[] = {
        {0, 0}, {4, 4}, {5, 5}, {0x00050004, 4}, {0xFFFF, -1}, {0xFFFFFFFF, -1},
    };
    for (const auto& c : cases)
    {
        SetDword("SOCKS_Version", c.value);
        CConnectionSettings s;
        ReadConnectionSettings(s);
        EXPECT_EQ(s.m_nSocksVersion, c.version) << c.value;
    }
}

TEST_F(ConnectionSettingsTest, AnyNonZeroSocksAuthReqdGivesMethodTwoAndReadsTheCredentials)
{
    SetDword("ConnectSOCKS", 1);
    SetText("SOCKS_Username", "proxy-user");
    SetText("SOCKS_Password", "proxy-secret");
    for (DWORD value : {1u, 2u, 0xFFFFFFFFu})
    {
        SetDword("SOCKSAuthReqd", value);
        CConnectionSettings s;
        ReadConnectionSettings(s);
        EXPECT_EQ(s.m_nSocksAuthMethod, 2) << value;
        EXPECT_EQ(Text(s.m_bstrSocksUsername), L"proxy-user") << value;
        EXPECT_EQ(Text(s.m_bstrSocksPassword), L"proxy-secret") << value;
    }
}

TEST_F(ConnectionSettingsTest, WithoutAuthenticationTheOldCredentialsStay)
{
    WriteFullKey();
    CConnectionSettings s;
    ReadConnectionSettings(s);
    SetDword("SOCKSAuthReqd", 0);
    SetText("SOCKS_Username", "other-user");
    SetText("SOCKS_Password", "other-secret");
    ReadConnectionSettings(s);
    EXPECT_EQ(s.m_nSocksAuthMethod, 0);
    EXPECT_EQ(Text(s.m_bstrSocksUsername), L"proxy-user");
    EXPECT_EQ(Text(s.m_bstrSocksPassword), L"proxy-secret");
}

TEST_F(ConnectionSettingsTest, ConnectSocksStoredAsAStringIsOff)
{
    SetText("ConnectSOCKS", "1");
    SetText("SOCKS_ServerAddress", "127.0.0.1");
    SetDword("SOCKS_Port", 1081);
    CConnectionSettings s;
    ReadConnectionSettings(s);
    EXPECT_FALSE(s.m_bConnectSOCKS);
    // The proxy values were not read at all.
    EXPECT_EQ(s.m_bstrSocksServerAddress.Get(), nullptr);
    EXPECT_EQ(s.m_nSocksPort, 0);
}

TEST_F(ConnectionSettingsTest, AFlagSwitchedOffLeavesItsValuesAsTheyWere)
{
    WriteFullKey();
    CConnectionSettings s;
    ReadConnectionSettings(s);

    SetDword("ConnectDUN", 0);
    SetText("DUN_Profile", "Home line");
    SetDword("ConnectSOCKS", 0);
    SetText("SOCKS_ServerAddress", "127.0.0.2");
    SetDword("SOCKS_Port", 2000);
    SetDword("SOCKS_Version", 4);
    SetDword("SOCKSAuthReqd", 0);
    ReadConnectionSettings(s);

    EXPECT_FALSE(s.m_bConnectDUN);
    EXPECT_EQ(Text(s.m_bstrDunProfile), L"Office line");
    EXPECT_EQ(Text(s.m_bstrDunUserName), L"dun-user");
    EXPECT_FALSE(s.m_bConnectSOCKS);
    EXPECT_EQ(Text(s.m_bstrSocksServerAddress), L"127.0.0.1");
    EXPECT_EQ(s.m_nSocksPort, 1081);
    EXPECT_EQ(s.m_nSocksVersion, 5);
    EXPECT_EQ(s.m_nSocksAuthMethod, 2);
    EXPECT_EQ(Text(s.m_bstrSocksUsername), L"proxy-user");
}

TEST_F(ConnectionSettingsTest, AKeyDeletedBetweenTwoReadsKeepsTheOldValues)
{
    WriteFullKey();
    SetText("ProbeTarget", "127.0.0.1:8080");
    CConnectionSettings s;
    ReadConnectionSettings(s);

    testreg::DeleteKey(kRoot, kKey);
    ReadConnectionSettings(s);

    // Dial-up stays on with the old profile; only passive mode, which is read
    // whether or not the key exists, falls back to off.
    EXPECT_TRUE(s.m_bConnectDUN);
    EXPECT_EQ(Text(s.m_bstrDunProfile), L"Office line");
    EXPECT_EQ(Text(s.m_bstrDunPassword), L"dun-secret");
    EXPECT_FALSE(s.m_bUsePASV);
    EXPECT_TRUE(s.m_bConnectSOCKS);
    EXPECT_EQ(Text(s.m_bstrSocksServerAddress), L"127.0.0.1");
    EXPECT_EQ(s.m_nSocksPort, 1081);
    EXPECT_EQ(s.m_nSocksVersion, 5);
    EXPECT_EQ(s.m_nSocksAuthMethod, 2);
    EXPECT_EQ(Text(s.m_bstrSocksUsername), L"proxy-user");
    EXPECT_EQ(Text(s.m_bstrSocksPassword), L"proxy-secret");
    EXPECT_STREQ(s.m_probeTarget.Host(), "127.0.0.1");
    EXPECT_EQ(s.m_probeTarget.Port(), 8080);
}

TEST_F(ConnectionSettingsTest, TextsWithoutTerminatorComeBackTerminated)
{
    SetDword("ConnectDUN", 1);
    // The emulator, like NT, adds the terminator that a writer forgot when the
    // byte after the data is zero; a non-zero byte there keeps the data
    // unterminated.
    SetRaw("DUN_Profile", REG_SZ, "abc", 3);
    ASSERT_EQ(testreg::Read(kRoot, kKey, "DUN_Profile").data.size(), 4u);
    SetRaw("DUN_Profile", REG_SZ, "abcX", 3);
    ASSERT_EQ(testreg::Read(kRoot, kKey, "DUN_Profile").data.size(), 3u);
    SetRaw("DUN_UserName", REG_SZ, "", 0);
    // Odd size: stored as UTF-16 with half a character at the end, which the
    // emulator's ANSI query drops.
    ASSERT_EQ(RegSetKeyValueW(kRoot, L"SOFTWARE\\Quorvel\\VexUpdate", L"DUN_Password", REG_SZ, L"wxyz", 7),
              ERROR_SUCCESS);
    CConnectionSettings s;
    ReadConnectionSettings(s);
    EXPECT_EQ(Text(s.m_bstrDunProfile), L"abc");
    EXPECT_EQ(Text(s.m_bstrDunUserName), L"");
    EXPECT_EQ(Text(s.m_bstrDunPassword), L"wxy");
}

TEST_F(ConnectionSettingsTest, TextsAreConvertedWithTheSystemCodePage)
{
    SetDword("ConnectDUN", 1);
    const std::string ansi = "caf\xE9 \xA3";
    SetText("DUN_Profile", ansi);
    wchar_t expected[16] = {};
    ASSERT_GT(MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, expected, 16), 0);
    CConnectionSettings s;
    ReadConnectionSettings(s);
    EXPECT_EQ(Text(s.m_bstrDunProfile), std::wstring(expected)) << "code page " << GetACP();
}

TEST_F(ConnectionSettingsTest, ProbeTargetReplacesTheFixedDefault)
{
    const struct { const char* text; const char* host; uint16_t port; } cases[] = {
        {"127.0.0.5", "127.0.0.5", 80},
        {"127.0.0.5:8080", "127.0.0.5", 8080},
        {"localhost:81", "localhost", 81},
        {"probe.example.org", "probe.example.org", 80},
        // Malformed: the fixed default, not what an earlier read found.
        {"", "1.1.1.1", 80},
        {":80", "1.1.1.1", 80},
        {"127.0.0.5:0", "1.1.1.1", 80},
        {"127.0.0.5:65536", "1.1.1.1", 80},
        {"127.0.0.5:8o", "1.1.1.1", 80},
        {"127.0.0.5:", "1.1.1.1", 80},
        {"300.0.0.1", "1.1.1.1", 80},
    };
    for (const auto& c : cases)
    {
        CConnectionSettings s;
        ASSERT_TRUE(s.m_probeTarget.Parse("127.0.0.9:99"));
        SetText("ProbeTarget", c.text);
        ReadConnectionSettings(s);
        EXPECT_STREQ(s.m_probeTarget.Host(), c.host) << '"' << c.text << '"';
        EXPECT_EQ(s.m_probeTarget.Port(), c.port) << '"' << c.text << '"';
    }
}

TEST_F(ConnectionSettingsTest, ProbeTargetAbsentOverLongOrOfAnotherTypeGivesTheDefault)
{
    CConnectionSettings s;
    SetDword("UsePASV", 0);
    ASSERT_TRUE(s.m_probeTarget.Parse("127.0.0.9:99"));
    ReadConnectionSettings(s);
    ExpectDefaultTarget(s);

    ASSERT_TRUE(s.m_probeTarget.Parse("127.0.0.9:99"));
    SetText("ProbeTarget", std::string(300, 'a'));
    ReadConnectionSettings(s);
    ExpectDefaultTarget(s);

    ASSERT_TRUE(s.m_probeTarget.Parse("127.0.0.9:99"));
    SetText("ProbeTarget", "127.0.0.5:8080", REG_EXPAND_SZ);
    ReadConnectionSettings(s);
    ExpectDefaultTarget(s);

    ASSERT_TRUE(s.m_probeTarget.Parse("127.0.0.9:99"));
    SetRaw("ProbeTarget", REG_SZ, "127.0.0.5:81X", 12);
    ReadConnectionSettings(s);
    EXPECT_STREQ(s.m_probeTarget.Host(), "127.0.0.5");
    EXPECT_EQ(s.m_probeTarget.Port(), 81);
}

// --- CRegistryAccess ----------------------------------------------------------

TEST_F(ConnectionSettingsTest, KeyExists)
{
    CRegistryAccess registry;
    EXPECT_FALSE(registry.KeyExists(kRoot, kKey));
    SetDword("UsePASV", 1);
    EXPECT_TRUE(registry.KeyExists(kRoot, kKey));
}

TEST_F(ConnectionSettingsTest, QueryValueHandsOutTypeDataAndSize)
{
    CRegistryAccess registry;
    DWORD type = 0;
    DWORD cb = 99;
    std::unique_ptr<BYTE[]> data;
    EXPECT_FALSE(registry.QueryValue(kRoot, kKey, "UsePASV", &type, data, &cb));
    EXPECT_EQ(cb, 0u); // the key could not be opened

    SetDword("UsePASV", 0x01020304);
    ASSERT_TRUE(registry.QueryValue(kRoot, kKey, "UsePASV", &type, data, &cb));
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    ASSERT_EQ(cb, 4u);
    EXPECT_EQ(data[0], 4);
    EXPECT_EQ(data[3], 1);

    EXPECT_FALSE(registry.QueryValue(kRoot, kKey, "Missing", &type, data, &cb));
    EXPECT_EQ(data, nullptr);

    // Larger than any setting: not read.
    const std::string big(registry::kMaxValueBytes, 'a');
    SetText("Big", big);
    EXPECT_FALSE(registry.QueryValue(kRoot, kKey, "Big", &type, data, &cb));
    EXPECT_EQ(data, nullptr);
}

TEST_F(ConnectionSettingsTest, GetDwordFallsBackToTheDefault)
{
    CRegistryAccess registry;
    DWORD value = 99;
    EXPECT_FALSE(registry.GetDword(kRoot, kKey, "SOCKS_Port", 0, &value));
    EXPECT_EQ(value, 0u);
    EXPECT_TRUE(registry.GetDword(kRoot, kKey, "SOCKS_Port", 1080, &value));
    EXPECT_EQ(value, 1080u);
    SetDword("SOCKS_Port", 0);
    EXPECT_TRUE(registry.GetDword(kRoot, kKey, "SOCKS_Port", 1080, &value));
    EXPECT_EQ(value, 0u);
    SetText("SOCKS_Port", "2000");
    EXPECT_TRUE(registry.GetDword(kRoot, kKey, "SOCKS_Port", 1080, &value));
    EXPECT_EQ(value, 1080u);
}

TEST_F(ConnectionSettingsTest, GetStringSizesAndDefault)
{
    CRegistryAccess registry;
    CAnsiString text;
    size_t cb = 0;
    EXPECT_FALSE(registry.GetString(kRoot, kKey, "DUN_Profile", nullptr, text, &cb));
    EXPECT_TRUE(text.IsNull());
    ASSERT_TRUE(registry.GetString(kRoot, kKey, "DUN_Profile", "dflt", text, &cb));
    EXPECT_STREQ(text.Get(), "dflt");
    EXPECT_EQ(cb, 4u); // the default's character count

    SetText("DUN_Profile", "abc");
    ASSERT_TRUE(registry.GetString(kRoot, kKey, "DUN_Profile", "dflt", text, &cb));
    EXPECT_STREQ(text.Get(), "abc");
    EXPECT_EQ(cb, 4u); // the value's byte size, terminator included

    SetText("DUN_Profile", "abc", REG_EXPAND_SZ);
    ASSERT_TRUE(registry.GetString(kRoot, kKey, "DUN_Profile", "", text, &cb));
    EXPECT_STREQ(text.Get(), "");
    EXPECT_EQ(cb, 0u);
}

} // namespace
