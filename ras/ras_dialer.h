// The dial context of the remote-access layer: an entry's properties and dial
// parameters, the active connections, and the result of the last call.
#pragma once
#include "cstring.h"
#include "ras_types.h"
#include "settings/name_list.h"

class CRasDialer {
public:
    CRasDialer() = default;
    CRasDialer(const CRasDialer&) = delete;
    CRasDialer& operator=(const CRasDialer&) = delete;
    ~CRasDialer();

    bool GetEntryProperties(const CString& entry, const CString* phonebook);
    bool GetDialParams(const CString& entry, const CString* phonebook);
    bool SetDialParams(const CString& entry, const CString* phonebook);
    bool GetEntryUserName(const CString& entry, CString& userName, const CString* phonebook);
    bool GetEntryPassword(const CString& entry, CString& password, const CString* phonebook);
    bool SetEntryUserName(const CString& entry, const CString& userName, const CString* phonebook);
    bool SetEntryPassword(const CString& entry, const CString& password, const CString* phonebook);
    DWORD GetLastRasError() const { return m_dwError; }

    bool Dial(const CString& entry, HRASCONN* phConn, RasDialFunc notifier, const CString* prefix,
              const CString* phonebook);
    bool EnumConnections();
    bool FindConnection(const CString& entry, const CString& deviceType);
    bool FindActiveConnection(HRASCONN* phConn);

    // Read-only views for the callers and the tests.
    const RASENTRY_V1& Entry() const { return m_entry; }
    const RASDIALPARAMS_V1& DialParams() const { return m_dialParams; }
    DWORD ConnectionCount() const { return m_nConns; }
    HRASCONN FoundConnection() const { return m_hFoundConn; }

private:
    // The entry's existence test; sets the error code either way.
    bool EntryExists(const CString& entry, const CString* phonebook);
    bool SetCredentialField(const CString& entry, const CString& value, bool password, const CString* phonebook);
    void FreeConns();
    void WipePassword();

    DWORD m_dwError = 0;
    RASENTRY_V1 m_entry{};
    RASDIALPARAMS_V1 m_dialParams{};
    RASCONN_V1* m_pConns = nullptr;
    DWORD m_nConns = 0;
    HRASCONN m_hFoundConn = nullptr;
};

bool EnumPhonebookEntries(CNameList& names, const CString* phonebook);
// False when the service refused, or still held the connection after 10 s.
bool HangUpConnection(HRASCONN hConn);
// The service still answers for the handle: its port is held.
bool ConnectionExists(HRASCONN hConn);
bool IsConnected(const HRASCONN* phConn);
bool IsConnecting(const HRASCONN* phConn);
bool GetConnectionDeviceName(const HRASCONN* phConn, CString& name);
// True on an NT-family system of major version 5 or later.
bool IsWindows2000OrLater();
