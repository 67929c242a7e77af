#include "ConnectionSettings.h"

#include "ConnectionSettingsValues.h"
#include "RegistryAccess.h"

namespace {

// A text value, converted to an automation string; the empty string when the
// value is absent or not a REG_SZ.
void ReadText(CRegistryAccess& registry, const char* pszName, CBstr& bstr)
{
    CAnsiString text;
    size_t cb = 0;
    registry.GetString(HKEY_LOCAL_MACHINE, kConnectionSettingsKey, pszName, "", text, &cb);
    AnsiToBstr(text.Get(), bstr);
}

std::string ReadString(CRegistryAccess& registry, const char* pszName)
{
    CAnsiString text;
    size_t cb = 0;
    registry.GetString(HKEY_LOCAL_MACHINE, kConnectionSettingsKey, pszName, "", text, &cb);
    return text.Get() ? text.Get() : "";
}

DWORD ReadDword(CRegistryAccess& registry, const char* pszName, DWORD dwDefault)
{
    DWORD dwValue = 0;
    registry.GetDword(HKEY_LOCAL_MACHINE, kConnectionSettingsKey, pszName, dwDefault, &dwValue);
    return dwValue;
}

} // namespace

void ReadConnectionSettings(CConnectionSettings& settings)
{
    CRegistryAccess registry;

    // Every value below is read through this one open key; the existence
    // checks still open the key anew, so a key deleted meanwhile is seen.
    if (registry.Hold(HKEY_LOCAL_MACHINE, kConnectionSettingsKey))
    {
        settings.m_bConnectDUN = ReadDword(registry, "ConnectDUN", 0) != 0;
        if (settings.m_bConnectDUN)
        {
            ReadText(registry, "DUN_Profile", settings.m_bstrDunProfile);
            ReadText(registry, "DUN_UserName", settings.m_bstrDunUserName);
            ReadText(registry, "DUN_Password", settings.m_bstrDunPassword);
        }
    }

    // Read whether or not the key exists: without it, passive mode is off.
    settings.m_bUsePASV = ReadDword(registry, "UsePASV", 0) != 0;
    settings.m_bTrustPASVAddress = ReadDword(registry, "FTPTrustPASVAddress", 0) != 0;
    settings.m_ftpTls = ftp::TlsModeFromSetting(ReadDword(registry, "FTPTLS", 0));

    // Checked again: the key may have gone in the meantime.
    if (registry.KeyExists(HKEY_LOCAL_MACHINE, kConnectionSettingsKey))
    {
        settings.m_bConnectSOCKS = ReadDword(registry, "ConnectSOCKS", 0) != 0;
        if (settings.m_bConnectSOCKS)
        {
            ReadText(registry, "SOCKS_ServerAddress", settings.m_bstrSocksServerAddress);
            settings.m_nSocksPort = settings::SocksPortFromDword(
                ReadDword(registry, "SOCKS_Port", settings::kDefaultSocksPort));
            settings.m_nSocksVersion =
                settings::SocksVersionFromDword(ReadDword(registry, "SOCKS_Version", 0));
            settings.m_nSocksAuthMethod =
                settings::SocksAuthMethodFromDword(ReadDword(registry, "SOCKSAuthReqd", 0));
            if (settings.m_nSocksAuthMethod != 0)
            {
                ReadText(registry, "SOCKS_Username", settings.m_bstrSocksUsername);
                ReadText(registry, "SOCKS_Password", settings.m_bstrSocksPassword);
            }
        }

        CAnsiString target;
        size_t cb = 0;
        if (registry.GetString(HKEY_LOCAL_MACHINE, kConnectionSettingsKey, "ProbeTarget", nullptr,
                               target, &cb))
            settings.m_probeTarget.Parse(target.Get());
        else
            settings.m_probeTarget.Reset();

        registry.GetWideString(HKEY_LOCAL_MACHINE, kConnectionSettingsKey, "TraceLog", settings.m_traceLog);
        settings.m_integratedAuthServers = ReadString(registry, "IntegratedAuthServers");

        HttpProxySettings& proxy = settings.m_httpProxy;
        proxy.address = ReadString(registry, "HTTPProxy");
        proxy.bypass = ReadString(registry, "HTTPProxyBypass");
        proxy.user = ReadString(registry, "HTTPProxyUsername");
        proxy.password = ReadString(registry, "HTTPProxyPassword");
        proxy.bUseSystem = ReadDword(registry, "UseSystemProxy", 0) != 0;
        proxy.credentialProxies = ReadString(registry, "HTTPProxyCredentialsFor");
        // Read whatever "ConnectSOCKS" says: a SOCKS proxy that a
        // configuration script names may be this one.
        proxy.socks.server = ReadString(registry, "SOCKS_ServerAddress");
        proxy.socks.port =
            settings::SocksPortFromDword(ReadDword(registry, "SOCKS_Port", settings::kDefaultSocksPort));
        proxy.socks.authMethod = static_cast<unsigned>(
            settings::SocksAuthMethodFromDword(ReadDword(registry, "SOCKSAuthReqd", 0)));
        proxy.socks.user = ReadString(registry, "SOCKS_Username");
        proxy.socks.password = ReadString(registry, "SOCKS_Password");
    }
    else
    {
        settings.m_traceLog.clear();
        settings.m_integratedAuthServers.clear();
        settings.m_httpProxy = HttpProxySettings();
    }
}
