// The scripted stand-in for the Remote Access Service library, built as
// RasApi32.dll beside the test programs: what a test tells it to do, and what
// it recorded of the calls it received. The service's structures are written
// out here again, apart from the engine's own copy, so that a layout mistake
// on either side shows up as a refused call or a misread field.
#pragma once

#include <windows.h>

#include <cstddef>

namespace rasdouble {

// RASCONNA, 4.0 layout, in the platform's natural alignment.
struct ConnA
{
    DWORD dwSize;
    void* hrasconn;
    char szEntryName[257];
    char szDeviceType[17];
    char szDeviceName[129];
};
static_assert(sizeof(ConnA) == (sizeof(void*) == 8 ? 424u : 412u), "RASCONNA 4.0");
static_assert(offsetof(ConnA, szDeviceName) == (sizeof(void*) == 8 ? 290u : 282u), "RASCONNA 4.0");

// RASDIALPARAMSA, 4.0 layout.
struct DialParamsA
{
    DWORD dwSize;
    char szEntryName[257];
    char szPhoneNumber[129];
    char szCallbackNumber[129];
    char szUserName[257];
    char szPassword[257];
    char szDomain[16];
};
static_assert(sizeof(DialParamsA) == 1052, "RASDIALPARAMSA 4.0");
static_assert(offsetof(DialParamsA, szPassword) == 776, "RASDIALPARAMSA 4.0");
static_assert(offsetof(DialParamsA, szDomain) == 1033, "RASDIALPARAMSA 4.0");

// RASCONNSTATUSA, 4.0 layout.
struct ConnStatusA
{
    DWORD dwSize;
    DWORD rasconnstate;
    DWORD dwError;
    char szDeviceType[17];
    char szDeviceName[129];
};
static_assert(sizeof(ConnStatusA) == 160, "RASCONNSTATUSA 4.0");

// The service's codes that the double answers with.
constexpr DWORD kErrorBufferTooSmall = 603;
constexpr DWORD kErrorInvalidSize = 632;
constexpr DWORD kErrorPortNotAvailable = 633;
constexpr DWORD kErrorNoAnswer = 678;
// Connection states sent to the notification function besides the end states.
constexpr DWORD kStateOpenPort = 0;
constexpr DWORD kStateConnectDevice = 2;
constexpr DWORD kStateAuthenticate = 5;
constexpr DWORD kStateConnected = 0x2000;
// The message number that the service passes to a RasDialFunc.
constexpr UINT kRasDialEvent = 0xCCCD;

enum class DialOutcome : DWORD
{
    // RasDialA succeeds; RASCS_Connected follows after dwConnectAfterMs.
    Connect,
    // RasDialA gives a handle and answers dwDialError.
    FailAtOnce,
    // RasDialA succeeds; the notifications stop with an error report after
    // dwConnectAfterMs and the connection never comes up.
    NeverConnect,
};

struct Script
{
    // Entry names of the connections already up, separated by '|'; null or
    // empty: none.
    const char* pszConnected = nullptr;
    DialOutcome outcome = DialOutcome::Connect;
    DWORD dwConnectAfterMs = 0;
    DWORD dwDialError = kErrorPortNotAvailable;
    // After a hang-up, RasGetConnectStatusA still answers success this many
    // times before ERROR_INVALID_HANDLE.
    DWORD dwReleasePolls = 0;
};

// Everything is counted from the last script.
struct Record
{
    DWORD dwEnumCalls = 0;
    // Byte counts offered and dwSize stamped by the first two enumerations.
    DWORD dwEnumBytes[2] = {};
    DWORD dwEnumSizes[2] = {};
    DWORD dwDials = 0;
    // The last RasDialA call.
    DialParamsA params = {};
    bool bExtensionsNull = false;
    bool bPhonebookNull = false;
    DWORD dwNotifierType = 0;
    bool bNotifierGiven = false;
    void* hDialled = nullptr;
    DWORD dwNotifications = 0;
    DWORD dwHangUps = 0;
    void* hHungUp = nullptr;
    DWORD dwStatusCalls = 0;
    DWORD dwStatusSize = 0;
    // RasGetConnectStatusA has answered ERROR_INVALID_HANDLE for the
    // connection that was hung up.
    bool bReleased = false;
};

// Exported by the double. A null script stops the background notifications
// and forgets every connection: tests call it before the library goes.
typedef void(WINAPI* ScriptFn)(const Script* pScript);
typedef void(WINAPI* RecordFn)(Record* pRecord);

} // namespace rasdouble
