#include "ras_api.h"

namespace ras {
namespace {

// The table of entry points; resolved once, on the user-interface thread's
// first remote-access call.
struct Api {
    DWORD(WINAPI* validateEntryName)(LPCSTR, LPCSTR);
    DWORD(WINAPI* getEntryProperties)(LPCSTR, LPCSTR, RASENTRY_V1*, LPDWORD, LPBYTE, LPDWORD);
    DWORD(WINAPI* getEntryDialParams)(LPCSTR, RASDIALPARAMS_V1*, LPBOOL);
    DWORD(WINAPI* setEntryDialParams)(LPCSTR, RASDIALPARAMS_V1*, BOOL);
    DWORD(WINAPI* setCredentials)(LPCSTR, LPCSTR, RASCREDENTIALS_V1*, BOOL);
    DWORD(WINAPI* enumEntries)(LPCSTR, LPCSTR, RASENTRYNAME_V1*, LPDWORD, LPDWORD);
    DWORD(WINAPI* dial)(void*, LPCSTR, RASDIALPARAMS_V1*, DWORD, void*, HRASCONN*);
    DWORD(WINAPI* hangUp)(HRASCONN);
    DWORD(WINAPI* getConnectStatus)(HRASCONN, RASCONNSTATUS_V1*);
    DWORD(WINAPI* enumConnections)(RASCONN_V1*, LPDWORD, LPDWORD);
    DWORD(WINAPI* getErrorString)(UINT, LPSTR, DWORD);
    DWORD loadError;  // why the DLL is missing, 0 when it loaded
};

template <class F>
void Resolve(HMODULE dll, const char* name, F& fn)
{
    fn = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
}

Api Load()
{
    Api a{};
    char path[MAX_PATH + 16];
    UINT n = GetSystemDirectoryA(path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        a.loadError = ERROR_MOD_NOT_FOUND;
        return a;
    }
    lstrcatA(path, "\\rasapi32.dll");
    // Its own dependencies are then searched for from its folder first, not
    // from the program's, also where SetDefaultDllDirectories does not exist.
    HMODULE dll = LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);  // held for the life of the process
    if (!dll) {
        a.loadError = GetLastError() ? GetLastError() : ERROR_MOD_NOT_FOUND;
        return a;
    }
    Resolve(dll, "RasValidateEntryNameA", a.validateEntryName);
    Resolve(dll, "RasGetEntryPropertiesA", a.getEntryProperties);
    Resolve(dll, "RasGetEntryDialParamsA", a.getEntryDialParams);
    Resolve(dll, "RasSetEntryDialParamsA", a.setEntryDialParams);
    Resolve(dll, "RasSetCredentialsA", a.setCredentials);
    Resolve(dll, "RasEnumEntriesA", a.enumEntries);
    Resolve(dll, "RasDialA", a.dial);
    Resolve(dll, "RasHangUpA", a.hangUp);
    Resolve(dll, "RasGetConnectStatusA", a.getConnectStatus);
    Resolve(dll, "RasEnumConnectionsA", a.enumConnections);
    Resolve(dll, "RasGetErrorStringA", a.getErrorString);
    return a;
}

// Every call comes from the user-interface thread, so a plain flag suffices.
Api g_api;
bool g_loaded = false;

const Api& GetApi()
{
    if (!g_loaded) {
        g_api = Load();
        g_loaded = true;
    }
    return g_api;
}

template <class F, class... Args>
DWORD Call(F fn, Args... args)
{
    if (!fn) return GetApi().loadError ? GetApi().loadError : ERROR_PROC_NOT_FOUND;
    return fn(args...);
}

}  // namespace

DWORD ValidateEntryName(LPCSTR phonebook, LPCSTR entry) { return Call(GetApi().validateEntryName, phonebook, entry); }
DWORD GetEntryProperties(LPCSTR phonebook, LPCSTR entry, RASENTRY_V1* props, LPDWORD size, LPBYTE devInfo,
                         LPDWORD devInfoSize)
{
    return Call(GetApi().getEntryProperties, phonebook, entry, props, size, devInfo, devInfoSize);
}
DWORD GetEntryDialParams(LPCSTR phonebook, RASDIALPARAMS_V1* params, LPBOOL passwordReturned)
{
    return Call(GetApi().getEntryDialParams, phonebook, params, passwordReturned);
}
DWORD SetEntryDialParams(LPCSTR phonebook, RASDIALPARAMS_V1* params, BOOL removePassword)
{
    return Call(GetApi().setEntryDialParams, phonebook, params, removePassword);
}
DWORD SetCredentials(LPCSTR phonebook, LPCSTR entry, RASCREDENTIALS_V1* cred, BOOL clear)
{
    return Call(GetApi().setCredentials, phonebook, entry, cred, clear);
}
DWORD EnumEntries(LPCSTR phonebook, RASENTRYNAME_V1* names, LPDWORD size, LPDWORD count)
{
    return Call(GetApi().enumEntries, static_cast<LPCSTR>(nullptr), phonebook, names, size, count);
}
DWORD Dial(LPCSTR phonebook, RASDIALPARAMS_V1* params, RasDialFunc notifier, HRASCONN* conn)
{
    return Call(GetApi().dial, static_cast<void*>(nullptr), phonebook, params, DWORD{0},
                reinterpret_cast<void*>(notifier), conn);
}
DWORD HangUp(HRASCONN conn) { return Call(GetApi().hangUp, conn); }
DWORD GetConnectStatus(HRASCONN conn, RASCONNSTATUS_V1* status) { return Call(GetApi().getConnectStatus, conn, status); }
DWORD EnumConnections(RASCONN_V1* conns, LPDWORD size, LPDWORD count)
{
    return Call(GetApi().enumConnections, conns, size, count);
}
DWORD GetErrorString(UINT code, LPSTR buffer, DWORD size) { return Call(GetApi().getErrorString, code, buffer, size); }

}  // namespace ras
