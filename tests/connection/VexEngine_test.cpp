// The remote fetch through the engine: settings from the registry, the probe,
// proxy and passive mode as configured, the temporary file kept on success
// and removed on failure, against the real servers.
#include "LocalFile.h"
#include "VexEngine.h"

#include "ConnectionSettings.h"
#include "ScriptedPeer.h"
#include "SettingsFixture.h"
#include "TestEnv.h"
#include "TestFiles.h"
#include "TestRegistry.h"
#include "VexSock.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <set>
#include <string>

namespace {

using EngineFetch = CSettingsFixture;

TEST_F(EngineFetch, HttpFetchKeepsTheFileAndNamesIt)
{
    Publish(testenv::WebRoot(), "engine.txt", "fetched by the engine\n");
    CVexEngine engine;
    ASSERT_TRUE(engine.FetchRemoteFile("127.0.0.1", "/engine.txt", nullptr, nullptr, testenv::LighttpdPort(),
                                       CVexEngine::kProtocolHTTP));
    ASSERT_FALSE(engine.LastFetchedFile().empty());
    const std::string kept = std::filesystem::path(engine.LastFetchedFile()).string();
    EXPECT_EQ(NewTempFiles(), std::set<std::string>{kept});
    EXPECT_EQ(ReadWholeFile(kept), "fetched by the engine\n");
    EXPECT_EQ(engine.m_lLastError, 0);
}

TEST_F(EngineFetch, HttpRequestCarriesTheProductsStrings)
{
    CScriptedPeer server;
    server.ExpectLine().ExpectLine().ExpectLine().ExpectLine().ExpectLine().Send("HTTP/1.0 200 OK\r\n\r\nx").Close();
    const uint16_t port = server.Start();
    CVexEngine engine;
    ASSERT_TRUE(engine.FetchRemoteFile("127.0.0.1", "/x", nullptr, nullptr, port, CVexEngine::kProtocolHTTP));
    server.Join();
    const std::string request = server.Received();
    EXPECT_NE(request.find("\r\nReferer: https://www.quorvel.com/vexa3\r\n"), std::string::npos) << request;
    EXPECT_NE(request.find("\r\nUser-Agent: Vexa3 3.0 Build 2631\r\n"), std::string::npos) << request;
}

// A temporary directory that the ANSI code page cannot spell (a Cyrillic or
// Chinese user name on a Western system): the file is made, written, named
// and deleted through wide paths; a path past MAX_PATH works too. A trace
// log in the same directory is written there.
TEST_F(EngineFetch, TemporaryDirectoriesBeyondTheCodePageWork)
{
    Publish(testenv::WebRoot(), "wide.txt", "wide paths\n");
    wchar_t szSaved[MAX_PATH + 2] = L"";
    GetEnvironmentVariableW(L"TMP", szSaved, MAX_PATH + 2);
    wchar_t szBase[MAX_PATH];
    ASSERT_GT(GetTempPathW(MAX_PATH, szBase), 0u);
    // 255 characters: too long for GetTempFileNameW, and the file's path
    // goes past MAX_PATH.
    const std::wstring base = std::wstring(szBase) + L"vexa-long-";
    const std::wstring nested = base + std::wstring(255 - base.size(), L'd');
    for (const std::wstring& dir : {std::wstring(szBase) + L"\u0418\u0440\u0438\u043d\u0430",
                                    std::wstring(szBase) + L"\u674e\u534e", nested})
    {
        ASSERT_TRUE(CreateDirectoryW(SystemFormOfPath(dir).c_str(), nullptr) ||
                    GetLastError() == ERROR_ALREADY_EXISTS);
        ASSERT_TRUE(SetEnvironmentVariableW(L"TMP", dir.c_str()));
        const std::wstring trace = dir + L"\\trace \u0436\u6587.txt";
        testreg::SetWideText(HKEY_LOCAL_MACHINE, kConnectionSettingsKey, "TraceLog", trace);
        CVexEngine engine;
        EXPECT_TRUE(engine.FetchRemoteFile("127.0.0.1", "/wide.txt", nullptr, nullptr, testenv::LighttpdPort(),
                                           CVexEngine::kProtocolHTTP));
        const std::wstring kept = engine.LastFetchedFile();
        EXPECT_EQ(GetACP(), 1252u);
        EXPECT_EQ(kept.compare(0, dir.size() + 4, dir + L"\\VEX"), 0);
        EXPECT_EQ(ReadWholeFile(SystemFormOfPath(kept)), "wide paths\n");
        EXPECT_EQ(engine.LastFetchedFileSha256().size(), 64u);
        EXPECT_TRUE(DeleteFileW(SystemFormOfPath(kept).c_str()));

        EXPECT_FALSE(engine.FetchRemoteFile("127.0.0.1", "/missing.txt", nullptr, nullptr,
                                            testenv::LighttpdPort(), CVexEngine::kProtocolHTTP));
        EXPECT_TRUE(engine.LastFetchedFile().empty());
        EXPECT_NE(ReadWholeFile(SystemFormOfPath(trace)).find("CVexEngine::FetchRemoteHTTP( 127.0.0.1, /missing.txt"), std::string::npos);
        EXPECT_TRUE(DeleteFileW(SystemFormOfPath(trace).c_str()));
        EXPECT_TRUE(RemoveDirectoryW(SystemFormOfPath(dir).c_str())) << "a failed fetch left its file";
    }
    SetEnvironmentVariableW(L"TMP", szSaved[0] ? szSaved : nullptr);
}

TEST_F(EngineFetch, FailedFetchLeavesNoFileAndNoName)
{
    CVexEngine engine;
    Publish(testenv::WebRoot(), "first.txt", "first");
    ASSERT_TRUE(engine.FetchRemoteFile("127.0.0.1", "/first.txt", nullptr, nullptr, testenv::LighttpdPort(), 1));
    const std::string kept = std::filesystem::path(engine.LastFetchedFile()).string();

    EXPECT_FALSE(engine.FetchRemoteFile("127.0.0.1", "/missing.txt", nullptr, nullptr, testenv::LighttpdPort(), 1));
    EXPECT_TRUE(engine.LastFetchedFile().empty());
    EXPECT_FALSE(engine.FetchRemoteFile("127.0.0.1", "missing.txt", "nobody", "nothing", testenv::FtpPort(), 2));
    EXPECT_EQ(NewTempFiles(), std::set<std::string>{kept});
    EXPECT_EQ(engine.m_lLastError, 0);
}

TEST_F(EngineFetch, ProbeThatFailsEndsTheFetchQuickly)
{
    uint16_t closedPort;
    {
        VEXSOCK probe;
        ASSERT_TRUE(probe.Create(1, false));
        closedPort = probe.GetLocalPort();
    }
    SetText("ProbeTarget", "127.0.0.1:" + std::to_string(closedPort));
    Publish(testenv::WebRoot(), "unprobed.txt", "x");
    CVexEngine engine;
    EXPECT_FALSE(engine.FetchRemoteFile("127.0.0.1", "/unprobed.txt", nullptr, nullptr, testenv::LighttpdPort(), 1));
    EXPECT_TRUE(NewTempFiles().empty());
    EXPECT_FALSE(engine.IsInternetConnected());
}

TEST_F(EngineFetch, HttpThroughTheConfiguredProxy)
{
    Publish(testenv::WebRoot(), "proxied.txt", "through the proxy");
    const struct { DWORD version; bool bAuth; } routes[] = {{5, false}, {5, true}, {0, false}};
    for (const auto& route : routes)
    {
        UseDante(route.version, route.bAuth);
        CVexEngine engine;
        ASSERT_TRUE(engine.FetchRemoteFile("127.0.0.1", "/proxied.txt", nullptr, nullptr, testenv::LighttpdPort(), 1))
            << "version " << route.version << " auth " << route.bAuth;
        EXPECT_EQ(ReadWholeFile(engine.LastFetchedFile()), "through the proxy");
        EXPECT_TRUE(engine.IsInternetConnected());
    }
}

TEST_F(EngineFetch, FtpFetchIsAsciiAndHonoursUsePasv)
{
    Publish(testenv::FtpRoot(), "engine-ftp.txt", "line one\nline two\n");
    for (DWORD usePasv : {0u, 1u})
    {
        SetDword("UsePASV", usePasv);
        CVexEngine engine;
        ASSERT_TRUE(engine.FetchRemoteFile("127.0.0.1", "engine-ftp.txt", testenv::FtpUser().c_str(),
                                           testenv::FtpPassword().c_str(), testenv::FtpPort(), 2))
            << "UsePASV " << usePasv;
        EXPECT_EQ(ReadWholeFile(engine.LastFetchedFile()), "line one\r\nline two\r\n");
        EXPECT_EQ(engine.m_settings.m_bUsePASV, usePasv != 0);
    }
}

TEST_F(EngineFetch, FtpThroughTheConfiguredProxyInBothModes)
{
    Publish(testenv::FtpRoot(), "engine-proxied.txt", "a\nb\n");
    for (DWORD version : {5u, 1u})
    {
        for (DWORD usePasv : {0u, 1u})
        {
            UseDante(version, version == 5);
            SetDword("UsePASV", usePasv);
            CVexEngine engine;
            EXPECT_TRUE(engine.FetchRemoteFile("127.0.0.1", "engine-proxied.txt", testenv::FtpUser().c_str(),
                                               testenv::FtpPassword().c_str(), testenv::FtpPort(), 0))
                << "version " << version << " UsePASV " << usePasv;
        }
    }
}

} // namespace
