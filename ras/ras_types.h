// The remote-access structures in their first published layouts, declared here
// because the toolchain's <ras.h> gives only the newer, larger ones. The
// service packs them on four bytes.
#pragma once
#include <cstddef>

#include "win.h"

constexpr int kRasMaxEntryName = 256;
constexpr int kRasMaxPhoneNumber = 128;
constexpr int kRasMaxCallbackNumber = 128;
constexpr int kRasMaxDeviceType = 16;
constexpr int kRasMaxDeviceName = 128;
constexpr int kRasMaxAreaCode = 10;
constexpr int kRasMaxPadType = 32;
constexpr int kRasMaxX25Address = 200;
constexpr int kRasMaxFacilities = 200;
constexpr int kRasMaxUserData = 200;
constexpr int kUnLen = 256;
constexpr int kPwLen = 256;
constexpr int kDnLen = 15;

DECLARE_HANDLE(HRASCONN);
using RASCONNSTATE = DWORD;

constexpr RASCONNSTATE RASCS_OpenPort = 0;
constexpr RASCONNSTATE RASCS_PortOpened = 1;
constexpr RASCONNSTATE RASCS_ConnectDevice = 2;
constexpr RASCONNSTATE RASCS_DeviceConnected = 3;
constexpr RASCONNSTATE RASCS_AllDevicesConnected = 4;
constexpr RASCONNSTATE RASCS_Authenticate = 5;
constexpr RASCONNSTATE RASCS_AuthNotify = 6;
constexpr RASCONNSTATE RASCS_Authenticated = 14;
constexpr RASCONNSTATE RASCS_Projected = 18;
constexpr RASCONNSTATE RASCS_SubEntryDisconnected = 23;
constexpr RASCONNSTATE RASCS_Interactive = 0x1000;
constexpr RASCONNSTATE RASCS_PasswordExpired = 0x1003;
constexpr RASCONNSTATE RASCS_InvokeEapUI = 0x1004;
constexpr RASCONNSTATE RASCS_Connected = 0x2000;
constexpr RASCONNSTATE RASCS_Disconnected = 0x2001;

constexpr DWORD RASCM_UserName = 1;
constexpr DWORD RASCM_Password = 2;
constexpr DWORD RASCM_Domain = 4;

constexpr DWORD kRasErrorBufferTooSmall = 603;
constexpr DWORD kRasErrorCannotFindEntry = 623;
constexpr DWORD kRasErrorInvalidSize = 632;

#pragma pack(push, 4)

struct RASIPADDR_V1 {
    BYTE a, b, c, d;
};

struct RASENTRY_V1 {
    DWORD dwSize;
    DWORD dwfOptions;
    DWORD dwCountryID;
    DWORD dwCountryCode;
    CHAR szAreaCode[kRasMaxAreaCode + 1];
    CHAR szLocalPhoneNumber[kRasMaxPhoneNumber + 1];
    DWORD dwAlternateOffset;
    RASIPADDR_V1 ipaddr;
    RASIPADDR_V1 ipaddrDns;
    RASIPADDR_V1 ipaddrDnsAlt;
    RASIPADDR_V1 ipaddrWins;
    RASIPADDR_V1 ipaddrWinsAlt;
    DWORD dwFrameSize;
    DWORD dwfNetProtocols;
    DWORD dwFramingProtocol;
    CHAR szScript[MAX_PATH];
    CHAR szAutodialDll[MAX_PATH];
    CHAR szAutodialFunc[MAX_PATH];
    CHAR szDeviceType[kRasMaxDeviceType + 1];
    CHAR szDeviceName[kRasMaxDeviceName + 1];
    CHAR szX25PadType[kRasMaxPadType + 1];
    CHAR szX25Address[kRasMaxX25Address + 1];
    CHAR szX25Facilities[kRasMaxFacilities + 1];
    CHAR szX25UserData[kRasMaxUserData + 1];
    DWORD dwChannels;
    DWORD dwReserved1;
    DWORD dwReserved2;
};

struct RASDIALPARAMS_V1 {
    DWORD dwSize;
    CHAR szEntryName[kRasMaxEntryName + 1];
    CHAR szPhoneNumber[kRasMaxPhoneNumber + 1];
    CHAR szCallbackNumber[kRasMaxCallbackNumber + 1];
    CHAR szUserName[kUnLen + 1];
    CHAR szPassword[kPwLen + 1];
    CHAR szDomain[kDnLen + 1];
};

struct RASENTRYNAME_V1 {
    DWORD dwSize;
    CHAR szEntryName[kRasMaxEntryName + 1];
};

struct RASCONN_V1 {
    DWORD dwSize;
    HRASCONN hrasconn;
    CHAR szEntryName[kRasMaxEntryName + 1];
    CHAR szDeviceType[kRasMaxDeviceType + 1];
    CHAR szDeviceName[kRasMaxDeviceName + 1];
};

struct RASCONNSTATUS_V1 {
    DWORD dwSize;
    RASCONNSTATE rasconnstate;
    DWORD dwError;
    CHAR szDeviceType[kRasMaxDeviceType + 1];
    CHAR szDeviceName[kRasMaxDeviceName + 1];
};

struct RASCREDENTIALS_V1 {
    DWORD dwSize;
    DWORD dwMask;
    CHAR szUserName[kUnLen + 1];
    CHAR szPassword[kPwLen + 1];
    CHAR szDomain[kDnLen + 1];
};

#pragma pack(pop)

static_assert(sizeof(RASENTRY_V1) == 1768);
static_assert(offsetof(RASENTRY_V1, szLocalPhoneNumber) == 27);
static_assert(offsetof(RASENTRY_V1, dwAlternateOffset) == 156);
static_assert(offsetof(RASENTRY_V1, szDeviceType) == 972);
static_assert(offsetof(RASENTRY_V1, szDeviceName) == 989);
static_assert(sizeof(RASDIALPARAMS_V1) == 1052);
static_assert(offsetof(RASDIALPARAMS_V1, szEntryName) == 4);
static_assert(offsetof(RASDIALPARAMS_V1, szPhoneNumber) == 261);
static_assert(offsetof(RASDIALPARAMS_V1, szUserName) == 519);
static_assert(offsetof(RASDIALPARAMS_V1, szPassword) == 776);
static_assert(offsetof(RASDIALPARAMS_V1, szDomain) == 1033);
static_assert(sizeof(RASENTRYNAME_V1) == 264);
static_assert(offsetof(RASENTRYNAME_V1, szEntryName) == 4);
static_assert(sizeof(RASCONNSTATUS_V1) == 160);
static_assert(offsetof(RASCONNSTATUS_V1, rasconnstate) == 4);
static_assert(offsetof(RASCONNSTATUS_V1, dwError) == 8);
static_assert(offsetof(RASCONNSTATUS_V1, szDeviceType) == 12);
static_assert(offsetof(RASCONNSTATUS_V1, szDeviceName) == 29);
static_assert(sizeof(RASCREDENTIALS_V1) == 540);
static_assert(offsetof(RASCREDENTIALS_V1, szUserName) == 8);
static_assert(offsetof(RASCREDENTIALS_V1, szPassword) == 265);
// The connection handle is a pointer: 412 bytes in the 32-bit layout, and the
// same fields packed on four bytes in a 64-bit build.
static_assert(offsetof(RASCONN_V1, hrasconn) == 4);
static_assert(offsetof(RASCONN_V1, szEntryName) == 4 + sizeof(HRASCONN));
static_assert(sizeof(RASCONN_V1) == (sizeof(void*) == 4 ? 412 : 416));
static_assert(sizeof(OSVERSIONINFOA) == 148);

// The connection array grows by sixteen elements at a time.
constexpr DWORD kRasConnGrowth = 16 * sizeof(RASCONN_V1);
static_assert(sizeof(void*) != 4 || kRasConnGrowth == 6592);
// 1,024 connections: far beyond what a machine holds (one per port).
constexpr DWORD kRasConnBufferLimit = 64 * kRasConnGrowth;

// Notifier of type 0.
using RasDialFunc = void(WINAPI*)(UINT unMsg, RASCONNSTATE state, DWORD dwError);
