// Vexa3.dll as a host loads it: class factory and aggregation, the module's
// lock count, and self-registration (directly and through regsvr32).
#include "ComPtr.h"
#include "TestEnv.h"
#include "TestFiles.h"
#include "Vexa3.h"

#include "ComTest.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

const char kClassKey[] = "CLSID\\{FD49E712-C8BD-4795-9AA0-B0B311DA3415}";
const char kTypeLibKey[] = "TypeLib\\{93B87667-2088-40D9-B0D5-1A903F2BF2FD}";

std::string DllPath()
{
    return testenv::WindowsPathOf(testenv::Text("VEXA_DLL"));
}

// The server's entry points, from one loaded copy of the DLL.
struct CServer
{
    explicit CServer(const std::string& path) : hModule(LoadLibraryA(path.c_str())) {}
    ~CServer()
    {
        if (hModule)
            FreeLibrary(hModule);
    }
    CServer(const CServer&) = delete;
    CServer& operator=(const CServer&) = delete;

    template <typename F>
    F Entry(const char* pszName)
    {
        return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(hModule, pszName)));
    }
    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** ppv)
    {
        return Entry<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>("DllGetClassObject")(clsid, iid, ppv);
    }
    HRESULT CanUnloadNow() { return Entry<HRESULT(STDAPICALLTYPE*)()>("DllCanUnloadNow")(); }
    HRESULT Register() { return Entry<HRESULT(STDAPICALLTYPE*)()>("DllRegisterServer")(); }
    HRESULT Unregister() { return Entry<HRESULT(STDAPICALLTYPE*)()>("DllUnregisterServer")(); }

    HMODULE hModule;
};

const auto* const g_apartment = ::testing::AddGlobalTestEnvironment(new CComApartment);

bool KeyExists(const std::string& path)
{
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return false;
    RegCloseKey(hKey);
    return true;
}

// A REG_SZ value of a key under HKEY_CLASSES_ROOT; "<missing>" when absent.
std::string Text(const std::string& path, const char* pszName = nullptr)
{
    char buffer[1024] = {};
    DWORD cb = sizeof(buffer) - 1;
    DWORD type = 0;
    if (RegGetValueA(HKEY_CLASSES_ROOT, path.c_str(), pszName, RRF_RT_ANY, &type, buffer, &cb) != ERROR_SUCCESS ||
        type != REG_SZ)
        return "<missing>";
    return buffer;
}

TEST(ClassFactory, IsCachedAndRefusesOtherClasses)
{
    CServer server(DllPath());
    ASSERT_NE(server.hModule, nullptr);
    CComPtr<IClassFactory> first, second;
    ASSERT_EQ(server.GetClassObject(CLSID_VexCtl3, IID_IClassFactory, reinterpret_cast<void**>(first.Receive())),
              S_OK);
    ASSERT_EQ(server.GetClassObject(CLSID_VexCtl3, IID_IUnknown, reinterpret_cast<void**>(second.Receive())), S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(first.Get()), static_cast<IUnknown*>(second.Get()));
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(server.GetClassObject(IID_IVexCtl3, IID_IClassFactory, &p), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(server.GetClassObject(CLSID_VexCtl3, IID_IClassFactory, nullptr), E_POINTER);
    EXPECT_EQ(server.GetClassObject(CLSID_VexCtl3, IID_IVexCtl3, &p), E_NOINTERFACE);
}

TEST(ClassFactory, AggregationOnlyThroughIUnknown)
{
    CServer server(DllPath());
    CComPtr<IClassFactory> factory;
    ASSERT_EQ(server.GetClassObject(CLSID_VexCtl3, IID_IClassFactory, reinterpret_cast<void**>(factory.Receive())),
              S_OK);
    CComPtr<IUnknown> outerStandIn;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(outerStandIn.Receive())), S_OK);
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(outerStandIn.Get(), IID_IVexCtl3, &p), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(p, nullptr);
    CComPtr<IUnknown> inner;
    EXPECT_EQ(factory->CreateInstance(outerStandIn.Get(), IID_IUnknown, reinterpret_cast<void**>(inner.Receive())),
              S_OK);
    CComPtr<IVexCtl3> control;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IVexCtl3, reinterpret_cast<void**>(control.Receive())), S_OK);
}

TEST(ModuleLocks, CanUnloadOnlyWhenNothingHoldsTheModule)
{
    CServer server(DllPath());
    EXPECT_EQ(server.CanUnloadNow(), S_OK);
    {
        CComPtr<IClassFactory> factory;
        ASSERT_EQ(server.GetClassObject(CLSID_VexCtl3, IID_IClassFactory,
                                        reinterpret_cast<void**>(factory.Receive())),
                  S_OK);
        // A host holding the cached factory keeps the module.
        EXPECT_EQ(server.CanUnloadNow(), S_FALSE);
        CComPtr<IUnknown> control;
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(control.Receive())), S_OK);
        factory.Reset();
        EXPECT_EQ(server.CanUnloadNow(), S_FALSE); // the live control
        control.Reset();
        EXPECT_EQ(server.CanUnloadNow(), S_OK);
    }
    CComPtr<IClassFactory> factory;
    server.GetClassObject(CLSID_VexCtl3, IID_IClassFactory, reinterpret_cast<void**>(factory.Receive()));
    factory->LockServer(TRUE);
    IClassFactory* pFactory = factory.Get();
    pFactory->AddRef();
    factory.Reset();
    pFactory->Release();
    EXPECT_EQ(server.CanUnloadNow(), S_FALSE); // LockServer(TRUE)
    server.GetClassObject(CLSID_VexCtl3, IID_IClassFactory, reinterpret_cast<void**>(factory.Receive()));
    factory->LockServer(FALSE);
    factory.Reset();
    EXPECT_EQ(server.CanUnloadNow(), S_OK);
}

class Registration : public ::testing::Test
{
protected:
    void TearDown() override
    {
        CServer server(DllPath());
        server.Unregister();
    }
};

TEST_F(Registration, WritesTheClassKeysAndTheTypeLibrary)
{
    CServer server(DllPath());
    ASSERT_EQ(server.Register(), S_OK);
    const std::string module = DllPath();
    EXPECT_EQ(Text("Vexa3.VexCtl3.1"), "Vexa v3.0");
    EXPECT_EQ(Text("Vexa3.VexCtl3.1\\CLSID"), "{FD49E712-C8BD-4795-9AA0-B0B311DA3415}");
    EXPECT_EQ(Text("Vexa3.VexCtl3\\CurVer"), "Vexa3.VexCtl3.1");
    EXPECT_EQ(Text(kClassKey), "Vexa v3.0");
    EXPECT_EQ(Text(std::string(kClassKey) + "\\ProgID"), "Vexa3.VexCtl3.1");
    EXPECT_EQ(Text(std::string(kClassKey) + "\\VersionIndependentProgID"), "Vexa3.VexCtl3");
    EXPECT_EQ(lstrcmpiA(Text(std::string(kClassKey) + "\\InprocServer32").c_str(), module.c_str()), 0)
        << Text(std::string(kClassKey) + "\\InprocServer32");
    EXPECT_EQ(Text(std::string(kClassKey) + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_TRUE(KeyExists(std::string(kClassKey) + "\\Programmable"));
    EXPECT_TRUE(KeyExists(std::string(kClassKey) + "\\Control"));
    EXPECT_TRUE(KeyExists(std::string(kClassKey) + "\\Insertable"));
    EXPECT_EQ(Text(std::string(kClassKey) + "\\MiscStatus"), "0");
    EXPECT_EQ(Text(std::string(kClassKey) + "\\MiscStatus\\1"), "132497");
    EXPECT_EQ(Text(std::string(kClassKey) + "\\TypeLib"), "{93B87667-2088-40D9-B0D5-1A903F2BF2FD}");
    EXPECT_EQ(Text(std::string(kClassKey) + "\\Version"), "1.0");
    EXPECT_NE(Text(std::string(kClassKey) + "\\ToolboxBitmap32").find(", 101"), std::string::npos);
    EXPECT_TRUE(KeyExists(std::string(kTypeLibKey) + "\\1.0"));

    // Creatable by ProgID now.
    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID(L"Vexa3.VexCtl3.1", &clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_VexCtl3));
}

TEST_F(Registration, RegisteringTwiceLeavesOneSetOfKeys)
{
    CServer server(DllPath());
    ASSERT_EQ(server.Register(), S_OK);
    HKEY hStray = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, (std::string(kClassKey) + "\\Stray").c_str(), &hStray),
              ERROR_SUCCESS);
    RegCloseKey(hStray);
    ASSERT_EQ(server.Register(), S_OK);
    // The class key was removed with its subtree and written anew.
    EXPECT_FALSE(KeyExists(std::string(kClassKey) + "\\Stray"));
    EXPECT_EQ(Text(std::string(kClassKey) + "\\ProgID"), "Vexa3.VexCtl3.1");
}

TEST_F(Registration, UnregisteringRemovesTheKeysButNotClsidItself)
{
    CServer server(DllPath());
    ASSERT_EQ(server.Register(), S_OK);
    EXPECT_EQ(server.Unregister(), S_OK);
    EXPECT_FALSE(KeyExists("Vexa3.VexCtl3.1"));
    EXPECT_FALSE(KeyExists("Vexa3.VexCtl3"));
    EXPECT_FALSE(KeyExists(kClassKey));
    EXPECT_FALSE(KeyExists(kTypeLibKey));
    EXPECT_TRUE(KeyExists("CLSID"));
    EXPECT_EQ(server.Unregister(), S_OK);
}

TEST_F(Registration, PathWithASingleQuoteIsRegisteredAsItIs)
{
    const std::string dir = TempPath("vexa o'quote");
    CreateDirectoryA(dir.c_str(), nullptr);
    const std::string copy = dir + "\\Vexa3.dll";
    ASSERT_TRUE(CopyFileA(DllPath().c_str(), copy.c_str(), FALSE));
    {
        CServer quoted(copy);
        ASSERT_NE(quoted.hModule, nullptr);
        ASSERT_EQ(quoted.Register(), S_OK);
        EXPECT_EQ(lstrcmpiA(Text(std::string(kClassKey) + "\\InprocServer32").c_str(), copy.c_str()), 0)
            << Text(std::string(kClassKey) + "\\InprocServer32");
        EXPECT_EQ(Text(std::string(kClassKey) + "\\ToolboxBitmap32"), Text(std::string(kClassKey) + "\\InprocServer32") + ", 101");
        EXPECT_EQ(quoted.Unregister(), S_OK);
    }
    DeleteFileA(copy.c_str());
    RemoveDirectoryA(dir.c_str());
}

DWORD RunRegsvr32(const std::string& arguments)
{
    std::string commandLine = "regsvr32.exe /s " + arguments;
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return GetLastError();
    WaitForSingleObject(pi.hProcess, 60000);
    DWORD exitCode = 0;
    GetExitCodeProcess(pi.hProcess, &exitCode);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return exitCode;
}

TEST_F(Registration, Regsvr32RegistersAndUnregisters)
{
    const std::string quoted = "\"" + DllPath() + "\"";
    ASSERT_EQ(RunRegsvr32(quoted), 0u);
    EXPECT_TRUE(KeyExists(kClassKey));
    ASSERT_EQ(RunRegsvr32("/u " + quoted), 0u);
    EXPECT_FALSE(KeyExists(kClassKey));
    EXPECT_EQ(RunRegsvr32("/u " + quoted), 0u);
}

} // namespace
