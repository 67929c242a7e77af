// Memory that runs out in the middle of a call: this program replaces the
// global operator new, which the control linked into it uses too, with one
// that fails once a given number of allocations has been made. Every call
// then answers S_OK or E_OUTOFMEMORY (nothing unwinds into the caller), and a
// fetch that did not complete never reads as LastFetchError 0.
#include "VexCtl3.h"

#include "ComTest.h"
#include "SettingsFixture.h"
#include "TestEnv.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <new>
#include <string>

namespace {

// Allocations left before operator new fails; below zero, no limit.
std::atomic<long> g_allocationsLeft{-1};

} // namespace

void* operator new(size_t cb)
{
    long left = g_allocationsLeft.load();
    while (left >= 0 && !g_allocationsLeft.compare_exchange_weak(left, left - 1))
    {
    }
    if (left == 0)
    {
        g_allocationsLeft = 0;
        throw std::bad_alloc();
    }
    void* p = std::malloc(cb ? cb : 1);
    if (!p)
        throw std::bad_alloc();
    return p;
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, size_t) noexcept
{
    std::free(p);
}

namespace {

const auto* const g_apartment = ::testing::AddGlobalTestEnvironment(new CComApartment);

// Runs call with the first `allowed` allocations granted and the next one
// failing.
HRESULT WithAllocations(long allowed, const std::function<HRESULT()>& call)
{
    g_allocationsLeft = allowed;
    const HRESULT hr = call();
    g_allocationsLeft = -1;
    return hr;
}

class OutOfMemory : public CSettingsFixture
{
protected:
    void SetUp() override
    {
        CSettingsFixture::SetUp();
        Publish(testenv::WebRoot(), "oom.txt", "arrived whole\n");
        ASSERT_EQ(CreateVexCtl3(nullptr, IID_IVexCtl3, reinterpret_cast<void**>(m_control.Receive())), S_OK);
    }
    void TearDown() override
    {
        m_control.Reset();
        CSettingsFixture::TearDown();
    }

    long LastFetchError()
    {
        long lError = 0;
        EXPECT_EQ(m_control->get_LastFetchError(&lError), S_OK);
        return lError;
    }

    CComPtr<IVexCtl3> m_control;
};

TEST_F(OutOfMemory, EveryFetchFailsCleanlyUntilItHasTheMemoryItNeeds)
{
    const std::wstring port = std::to_wstring(testenv::LighttpdPort());
    const std::wstring url = L"http://127.0.0.1:" + port + L"/oom.txt";
    const struct
    {
        const char* what;
        std::function<HRESULT(IVexCtl3*, VARIANT_BOOL*)> fetch;
    } cases[] = {
        {"FetchURL", [&](IVexCtl3* p, VARIANT_BOOL* pb) { return p->FetchURL(CBstrArg(url.c_str()), pb); }},
        {"FetchRemoteHTTP",
         [&](IVexCtl3* p, VARIANT_BOOL* pb) {
             return p->FetchRemoteHTTP(CBstrArg(L"127.0.0.1"), CBstrArg(L"/oom.txt"),
                                       static_cast<short>(testenv::LighttpdPort()), pb);
         }},
        {"IsInternetConnected", [](IVexCtl3* p, VARIANT_BOOL* pb) { return p->IsInternetConnected(pb); }},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        const bool bFetch = c.what != std::string("IsInternetConnected");
        // Every allocation of the call fails once, until the call has all
        // it asks for; a bound keeps a call that never completes finite.
        bool bCompleted = false;
        long allowed = 0;
        for (; allowed < 2000 && !bCompleted; ++allowed)
        {
            VARIANT_BOOL result = VARIANT_TRUE;
            const HRESULT hr = WithAllocations(allowed, [&] { return c.fetch(m_control.Get(), &result); });
            ASSERT_TRUE(hr == S_OK || hr == E_OUTOFMEMORY) << std::hex << hr << " with " << allowed;
            bCompleted = hr == S_OK && result == VARIANT_TRUE;
            if (bFetch && !bCompleted)
            {
                ASSERT_NE(LastFetchError(), 0) << "failed with " << allowed << " allocations, but reads as 0";
            }
        }
        EXPECT_TRUE(bCompleted) << "never completed";
        EXPECT_GT(allowed, 1) << "no allocation made";
        BSTR file = nullptr;
        ASSERT_EQ(m_control->get_LastFetchedFile(&file), S_OK);
        if (bFetch)
        {
            const std::wstring path = file ? file : L"";
            EXPECT_EQ(ReadWholeFile(std::string(path.begin(), path.end())), "arrived whole\n");
            DeleteFileW(path.c_str());
        }
        SysFreeString(file);
    }
}

} // namespace
