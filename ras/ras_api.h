// RASAPI32, loaded on first use from the system directory by its full path;
// a missing DLL or function makes each call fail with a Windows error code.
#pragma once
#include "ras_types.h"

namespace ras {
DWORD ValidateEntryName(LPCSTR phonebook, LPCSTR entry);
DWORD GetEntryProperties(LPCSTR phonebook, LPCSTR entry, RASENTRY_V1* props, LPDWORD size, LPBYTE devInfo,
                         LPDWORD devInfoSize);
DWORD GetEntryDialParams(LPCSTR phonebook, RASDIALPARAMS_V1* params, LPBOOL passwordReturned);
DWORD SetEntryDialParams(LPCSTR phonebook, RASDIALPARAMS_V1* params, BOOL removePassword);
DWORD SetCredentials(LPCSTR phonebook, LPCSTR entry, RASCREDENTIALS_V1* cred, BOOL clear);
DWORD EnumEntries(LPCSTR phonebook, RASENTRYNAME_V1* names, LPDWORD size, LPDWORD count);
DWORD Dial(LPCSTR phonebook, RASDIALPARAMS_V1* params, RasDialFunc notifier, HRASCONN* conn);
DWORD HangUp(HRASCONN conn);
DWORD GetConnectStatus(HRASCONN conn, RASCONNSTATUS_V1* status);
DWORD EnumConnections(RASCONN_V1* conns, LPDWORD size, LPDWORD count);
DWORD GetErrorString(UINT code, LPSTR buffer, DWORD size);
}  // namespace ras
