// A C++ host that watches, limits, stops and verifies fetches: a sink on the
// control's connection point, the progress properties read from its own
// timer, CancelFetch, TimeoutSeconds and URLs that carry a digest.
#include "VexCtl3.h"

#include "VexErrors.h"

#include "ComTest.h"
#include "ScriptedPeer.h"
#include "SettingsFixture.h"
#include "SilentListener.h"
#include "TestEnv.h"
#include "TestFiles.h"
#include "TestTls.h"

#include <gtest/gtest.h>

#include <ole2.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace {

const auto* const g_apartment = ::testing::AddGlobalTestEnvironment(new CComApartment);

const size_t kFileSize = 4 * 1024 * 1024;
// Of BinaryContent(kFileSize).
const char kSha256[] = "98379c017b5925cd67f93a970d0debf6d145cbb4df3f826849aeda6e702b0dcd";
const char kSha512[] = "652b44e11aec6410071ea648ef3250b6fc40fd3dbcb829508d5fb67ccf907d48"
                       "43d2df7a7a4dfb74a4c0b9a21496787874f2fa021f74f40b12d954159a91acf2";

std::string Narrow(BSTR bstr)
{
    const wchar_t* psz = bstr ? bstr : L"";
    return std::string(psz, psz + SysStringLen(bstr));
}

struct Progress
{
    double received;
    double expected;
};

// Records the events in the order they came; onProgress runs inside the
// event, as a host's handler would.
class CEventSink final : public IDispatch
{
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        *ppv = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
                       IsEqualIID(riid, DIID__IVexCtl3Events)
                   ? this
                   : nullptr;
        return *ppv ? S_OK : E_NOINTERFACE;
    }
    // A member of the test: the control's references never free it.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override
    {
        *pctinfo = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* pParams, VARIANT*, EXCEPINFO*, UINT*) override
    {
        // Arguments arrive last first.
        if (id == 1 && pParams->cArgs == 2)
        {
            progress.push_back({V_R8(&pParams->rgvarg[1]), V_R8(&pParams->rgvarg[0])});
            if (onProgress)
                onProgress(progress.back());
        }
        else if (id == 2 && pParams->cArgs == 1)
        {
            done.push_back(V_BOOL(&pParams->rgvarg[0]) != VARIANT_FALSE);
        }
        else
        {
            return DISP_E_MEMBERNOTFOUND;
        }
        eventsAfterDone += done.empty() || id == 2 ? 0 : 1;
        return S_OK;
    }

    std::vector<Progress> progress;
    std::vector<bool> done;
    int eventsAfterDone = 0;
    std::function<void(const Progress&)> onProgress;
};

class FetchEvents : public CSettingsFixture
{
protected:
    void SetUp() override
    {
        CSettingsFixture::SetUp();
        ASSERT_TRUE(TrustTestRoot());
        ASSERT_EQ(CreateVexCtl3(nullptr, IID_IVexCtl3, reinterpret_cast<void**>(m_control.Receive())), S_OK);
        CComPtr<IConnectionPointContainer> container;
        ASSERT_EQ(m_control->QueryInterface(IID_IConnectionPointContainer,
                                            reinterpret_cast<void**>(container.Receive())),
                  S_OK);
        ASSERT_EQ(container->FindConnectionPoint(DIID__IVexCtl3Events, m_point.Receive()), S_OK);
        ASSERT_EQ(m_point->Advise(&m_sink, &m_cookie), S_OK);
    }
    void TearDown() override
    {
        if (m_point)
        {
            EXPECT_EQ(m_point->Unadvise(m_cookie), S_OK);
        }
        m_point.Reset();
        m_control.Reset();
        CSettingsFixture::TearDown();
    }

    HRESULT FetchURL(const std::string& url, VARIANT_BOOL* pbCompleted)
    {
        return m_control->FetchURL(CBstrArg(url), pbCompleted);
    }
    double Received()
    {
        double value = -2;
        m_control->get_FetchBytesReceived(&value);
        return value;
    }
    double Expected()
    {
        double value = -2;
        m_control->get_FetchBytesExpected(&value);
        return value;
    }
    long LastError()
    {
        long value = 0;
        m_control->get_LastFetchError(&value);
        return value;
    }
    long LastDetail()
    {
        long value = 0;
        m_control->get_LastFetchErrorDetail(&value);
        return value;
    }
    std::string Text(HRESULT (STDMETHODCALLTYPE IVexCtl3::*get)(BSTR*))
    {
        BSTR value = nullptr;
        (m_control.Get()->*get)(&value);
        const std::string text = Narrow(value);
        SysFreeString(value);
        return text;
    }
    // A failed fetch keeps nothing: no file reserved, none named.
    void ExpectNothingKept(size_t filesBefore, const std::string& what)
    {
        EXPECT_EQ(VexTempFiles().size(), filesBefore) << what;
        EXPECT_EQ(Text(&IVexCtl3::get_LastFetchedFile), "") << what;
        EXPECT_EQ(Text(&IVexCtl3::get_LastFetchedFileSHA256), "") << what;
    }

    CComPtr<IVexCtl3> m_control;
    CComPtr<IConnectionPoint> m_point;
    CEventSink m_sink;
    DWORD m_cookie = 0;
};

std::string HttpUrl(const std::string& path)
{
    return "http://127.0.0.1:" + std::to_string(testenv::LighttpdPort()) + path;
}

TEST_F(FetchEvents, ProgressRisesToTheFileSizeAndTheDigestMatches)
{
    const std::string content = BinaryContent(kFileSize);
    Publish(testenv::WebRoot(), "events-4m.bin", content);
    Publish(testenv::FtpRoot(), "events-4m.bin", content);
    const std::string ftpLogin = testenv::FtpUser() + ":" + testenv::FtpPassword() + "@";
    const std::string urls[] = {
        HttpUrl("/events-4m.bin#sha256=") + kSha256,
        "https://localhost:" + std::to_string(testenv::Port("VEXA_TLS_PORT")) + "/events-4m.bin#sha512=" + kSha512,
        "ftp://" + ftpLogin + "127.0.0.1:" + std::to_string(testenv::FtpPort()) + "/events-4m.bin#sha256=" + kSha256,
    };
    for (const std::string& url : urls)
    {
        const std::string scheme = url.substr(0, url.find(':'));
        m_sink = CEventSink();
        VARIANT_BOOL bCompleted = VARIANT_FALSE;
        ASSERT_EQ(FetchURL(url, &bCompleted), S_OK) << scheme;
        EXPECT_EQ(bCompleted, VARIANT_TRUE) << scheme;
        ASSERT_FALSE(m_sink.progress.empty()) << scheme;
        for (size_t i = 1; i < m_sink.progress.size(); ++i)
            EXPECT_GE(m_sink.progress[i].received, m_sink.progress[i - 1].received) << scheme << " event " << i;
        EXPECT_EQ(m_sink.progress.back().received, double(kFileSize)) << scheme;
        EXPECT_EQ(m_sink.progress.back().expected, double(kFileSize)) << scheme;
        EXPECT_EQ(m_sink.done, std::vector<bool>{true}) << scheme;
        EXPECT_EQ(m_sink.eventsAfterDone, 0) << scheme;
        EXPECT_EQ(Received(), double(kFileSize)) << scheme;
        EXPECT_EQ(Expected(), double(kFileSize)) << scheme;
        EXPECT_EQ(Text(&IVexCtl3::get_LastFetchedFileSHA256), kSha256) << scheme;
        const std::string file = Text(&IVexCtl3::get_LastFetchedFile);
        EXPECT_TRUE(ReadWholeFile(file) == content) << scheme;
        DeleteFileA(file.c_str());
    }
}

TEST_F(FetchEvents, DigestsThatDoNotMatchOrCannotBeCheckedKeepNoFile)
{
    Publish(testenv::WebRoot(), "events-digest.txt", "digested");
    const struct
    {
        const char* fragment;
        HRESULT hr;
        long lError, lDetail;
    } cases[] = {
        {"#sha256=0000000000000000000000000000000000000000000000000000000000000000", S_OK, VEXERR_VERIFY,
         VEXDET_DIGEST_MISMATCH},
        {"#sha256=abc", E_INVALIDARG, VEXERR_URL, VEXDET_URL_BAD_DIGEST},
        {"#md5=0cc175b9c0f1b6a831c399e269772661", E_INVALIDARG, VEXERR_URL, VEXDET_URL_BAD_DIGEST},
        {"#sha256=0000000000000000000000000000000000000000000000000000000000000000&sha512=00", E_INVALIDARG,
         VEXERR_URL, VEXDET_URL_BAD_DIGEST},
    };
    for (const auto& c : cases)
    {
        const size_t filesBefore = VexTempFiles().size();
        VARIANT_BOOL bCompleted = VARIANT_TRUE;
        SetErrorInfo(0, nullptr);
        EXPECT_EQ(FetchURL(HttpUrl("/events-digest.txt") + c.fragment, &bCompleted), c.hr) << c.fragment;
        EXPECT_EQ(bCompleted, VARIANT_FALSE) << c.fragment;
        EXPECT_EQ(LastError(), c.lError) << c.fragment;
        EXPECT_EQ(LastDetail(), c.lDetail) << c.fragment;
        ExpectNothingKept(filesBefore, c.fragment);
        const std::string why = Text(&IVexCtl3::get_LastFetchErrorText);
        EXPECT_NE(why.find("digest"), std::string::npos) << why;
        // A refusal also tells the host why through its error information.
        CComPtr<IErrorInfo> info;
        ASSERT_EQ(GetErrorInfo(0, info.Receive()), c.hr == S_OK ? S_FALSE : S_OK) << c.fragment;
        if (!info)
            continue;
        BSTR description = nullptr;
        info->GetDescription(&description);
        EXPECT_EQ(Narrow(description), why);
        SysFreeString(description);
    }
}

TEST_F(FetchEvents, CancelFromAProgressEventEndsTheFetch)
{
    Publish(testenv::WebRoot(), "events-cancel.bin", BinaryContent(kFileSize));
    m_sink.onProgress = [this](const Progress&) { EXPECT_EQ(m_control->CancelFetch(), S_OK); };
    const size_t filesBefore = VexTempFiles().size();
    VARIANT_BOOL bCompleted = VARIANT_TRUE;
    ASSERT_EQ(FetchURL(HttpUrl("/events-cancel.bin"), &bCompleted), S_OK);
    EXPECT_EQ(bCompleted, VARIANT_FALSE);
    EXPECT_EQ(LastError(), VEXERR_ABORTED);
    EXPECT_EQ(LastDetail(), VEXDET_CANCELLED);
    EXPECT_NE(Text(&IVexCtl3::get_LastFetchErrorText).find("cancelled"), std::string::npos);
    EXPECT_LT(Received(), double(kFileSize));
    EXPECT_EQ(m_sink.done, std::vector<bool>{false});
    ExpectNothingKept(filesBefore, "cancelled");

    // Nothing runs now: a no-op, and the next fetch is not affected.
    m_sink = CEventSink();
    EXPECT_EQ(m_control->CancelFetch(), S_OK);
    ASSERT_EQ(FetchURL(HttpUrl("/events-cancel.bin"), &bCompleted), S_OK);
    EXPECT_EQ(bCompleted, VARIANT_TRUE);
    DeleteFileA(Text(&IVexCtl3::get_LastFetchedFile).c_str());
}

// The host's own timer, dispatched by the control's message pump while the
// fetch waits for the rest of a body: it reads the live progress and
// cancels once the first bytes are in.
struct TimerHost
{
    IVexCtl3* pControl = nullptr;
    double receivedWhenCancelled = -1;
    double expectedWhenCancelled = -1;
};
TimerHost g_timerHost;

void CALLBACK CancelOnceBytesArrived(HWND, UINT, UINT_PTR id, DWORD)
{
    double received = 0;
    g_timerHost.pControl->get_FetchBytesReceived(&received);
    if (received < 1000)
        return;
    KillTimer(nullptr, id);
    g_timerHost.receivedWhenCancelled = received;
    g_timerHost.pControl->get_FetchBytesExpected(&g_timerHost.expectedWhenCancelled);
    g_timerHost.pControl->CancelFetch();
}

TEST_F(FetchEvents, CancelFromATimerEndsAFetchThatWaitsForItsBody)
{
    CScriptedPeer server;
    server.ExpectLine()
        .Send("HTTP/1.0 200 OK\r\nContent-Length: 1000000\r\n\r\n" + std::string(1000, 'x'))
        .HoldUntilClientCloses();
    const uint16_t port = server.Start();
    g_timerHost = TimerHost();
    g_timerHost.pControl = m_control.Get();
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, CancelOnceBytesArrived);
    ASSERT_NE(timer, 0u);
    const size_t filesBefore = VexTempFiles().size();
    VARIANT_BOOL bCompleted = VARIANT_TRUE;
    ASSERT_EQ(m_control->FetchRemoteHTTP(CBstrArg(L"127.0.0.1"), CBstrArg(L"/held"), static_cast<short>(port),
                                         &bCompleted),
              S_OK);
    KillTimer(nullptr, timer);
    server.Join();
    EXPECT_EQ(bCompleted, VARIANT_FALSE);
    EXPECT_EQ(g_timerHost.receivedWhenCancelled, 1000.0);
    EXPECT_EQ(g_timerHost.expectedWhenCancelled, 1000000.0);
    EXPECT_EQ(LastError(), VEXERR_ABORTED);
    EXPECT_EQ(LastDetail(), VEXDET_CANCELLED);
    EXPECT_EQ(m_sink.done, std::vector<bool>{false});
    ExpectNothingKept(filesBefore, "cancelled by the timer");
}

TEST_F(FetchEvents, TimeoutSecondsLimitsEachWait)
{
    long seconds = 0;
    ASSERT_EQ(m_control->get_TimeoutSeconds(&seconds), S_OK);
    EXPECT_EQ(seconds, 300);
    for (long refused : {0L, -1L, 86401L})
        EXPECT_EQ(m_control->put_TimeoutSeconds(refused), E_INVALIDARG) << refused;
    ASSERT_EQ(m_control->put_TimeoutSeconds(2), S_OK);
    m_control->get_TimeoutSeconds(&seconds);
    EXPECT_EQ(seconds, 2);

    // A peer that never completes the connection: the connect's own wait
    // ends at the limit.
    const CSilentListener silent;
    VARIANT_BOOL bCompleted = VARIANT_TRUE;
    ASSERT_EQ(m_control->FetchRemoteHTTP(CBstrArg(L"127.0.0.1"), CBstrArg(L"/silent"), static_cast<short>(silent.Port()),
                                         &bCompleted),
              S_OK);
    EXPECT_EQ(bCompleted, VARIANT_FALSE);
    EXPECT_EQ(LastDetail(), VEXWSA_TIMEDOUT) << LastError();
    const std::string why = Text(&IVexCtl3::get_LastFetchErrorText);
    EXPECT_NE(why.find("no answer within 2 s"), std::string::npos) << why;
}

} // namespace
