#include "ras_dialer.h"

#include <mbstring.h>

#include <cstring>
#include <initializer_list>

#include "handles.h"
#include "ras_api.h"

namespace {

// The service takes null for the default phonebook.
LPCSTR PhonebookArg(const CString* phonebook)
{
    return phonebook && !phonebook->IsEmpty() ? phonebook->c_str() : nullptr;
}

// Copies up to 256 bytes; byte 256 is always 0.
template <size_t N>
void CopyField(char (&field)[N], const char* value)
{
    static_assert(N == 257);
    std::strncpy(field, value, N - 1);
    field[N - 1] = 0;
}

// The prefix gets an outside line from a telephone exchange: a VPN's host
// name, a PPPoE service name and a network code (*99#, #777) get none.
bool TakesDialPrefix(const RASENTRY_V1& entry)
{
    CString type(entry.szDeviceType, static_cast<int>(strnlen(entry.szDeviceType, kRasMaxDeviceType)));
    if (type.CompareNoCase("modem") != 0 && type.CompareNoCase("isdn") != 0) return false;
    return entry.szLocalPhoneNumber[0] != '*' && entry.szLocalPhoneNumber[0] != '#';
}

bool StatusOf(HRASCONN h, RASCONNSTATUS_V1& status)
{
    std::memset(&status, 0, sizeof status);
    status.dwSize = sizeof(RASCONNSTATUS_V1);
    return ras::GetConnectStatus(h, &status) == 0;
}

}  // namespace

CRasDialer::~CRasDialer()
{
    FreeConns();
    SecureWipe(&m_dialParams, sizeof m_dialParams);  // may hold a password
}

void CRasDialer::WipePassword() { SecureWipe(m_dialParams.szPassword, sizeof m_dialParams.szPassword); }

void CRasDialer::FreeConns()
{
    if (m_pConns) GlobalFree(m_pConns);
    m_pConns = nullptr;
}

bool CRasDialer::EntryExists(const CString& entry, const CString* phonebook)
{
    if (entry.IsEmpty()) return false;
    m_dwError = ras::ValidateEntryName(PhonebookArg(phonebook), entry);
    if (m_dwError == ERROR_ALREADY_EXISTS) return true;
    // A name that is free is a name of no entry: a failure, not a success
    // that the user would be shown as "error 0".
    if (m_dwError == 0) m_dwError = kRasErrorCannotFindEntry;
    return false;
}

bool CRasDialer::GetEntryProperties(const CString& entry, const CString* phonebook)
{
    if (!EntryExists(entry, phonebook)) return false;

    std::memset(&m_entry, 0, sizeof m_entry);
    m_entry.dwSize = sizeof(RASENTRY_V1);
    DWORD size = sizeof(RASENTRY_V1), devSize = 0;
    m_dwError = ras::GetEntryProperties(PhonebookArg(phonebook), entry, &m_entry, &size, nullptr, &devSize);
    if (m_dwError == kRasErrorBufferTooSmall) {
        // One retry with room for alternate numbers; the size reported is not used.
        constexpr DWORD kWorkSize = 2024;
        CGlobalMem work(GlobalAlloc(GPTR, kWorkSize));
        if (!work) {
            m_dwError = kRasErrorBufferTooSmall;
            return false;
        }
        auto* props = static_cast<RASENTRY_V1*>(work.Get());
        props->dwSize = sizeof(RASENTRY_V1);
        size = kWorkSize;
        devSize = 0;
        m_dwError = ras::GetEntryProperties(PhonebookArg(phonebook), entry, props, &size, nullptr, &devSize);
        if (m_dwError == 0) std::memcpy(&m_entry, props, sizeof m_entry);
    }
    return m_dwError == 0;
}

bool CRasDialer::GetDialParams(const CString& entry, const CString* phonebook)
{
    if (!EntryExists(entry, phonebook)) return false;
    std::memset(&m_dialParams, 0, sizeof m_dialParams);
    m_dialParams.dwSize = sizeof(RASDIALPARAMS_V1);
    CopyField(m_dialParams.szEntryName, entry);
    BOOL passwordReturned = FALSE;
    m_dwError = ras::GetEntryDialParams(PhonebookArg(phonebook), &m_dialParams, &passwordReturned);
    return m_dwError == 0;
}

bool CRasDialer::SetDialParams(const CString& entry, const CString* phonebook)
{
    if (entry.IsEmpty()) return false;
    m_dialParams.dwSize = sizeof(RASDIALPARAMS_V1);
    CopyField(m_dialParams.szEntryName, entry);
    m_dwError = ras::SetEntryDialParams(PhonebookArg(phonebook), &m_dialParams, FALSE);
    return m_dwError == 0;
}

bool CRasDialer::GetEntryUserName(const CString& entry, CString& userName, const CString* phonebook)
{
    if (!GetDialParams(entry, phonebook)) return false;
    userName = CString(m_dialParams.szUserName, static_cast<int>(strnlen(m_dialParams.szUserName, kUnLen)));
    WipePassword();  // read along, not wanted
    return true;
}

bool CRasDialer::GetEntryPassword(const CString& entry, CString& password, const CString* phonebook)
{
    if (!GetDialParams(entry, phonebook)) return false;
    password = CString(m_dialParams.szPassword, static_cast<int>(strnlen(m_dialParams.szPassword, kPwLen)));
    WipePassword();
    return true;
}

bool CRasDialer::SetEntryUserName(const CString& entry, const CString& userName, const CString* phonebook)
{
    return SetCredentialField(entry, userName, false, phonebook);
}

bool CRasDialer::SetEntryPassword(const CString& entry, const CString& password, const CString* phonebook)
{
    return SetCredentialField(entry, password, true, phonebook);
}

bool CRasDialer::SetCredentialField(const CString& entry, const CString& value, bool password,
                                    const CString* phonebook)
{
    if (entry.IsEmpty()) return false;
    if (!GetDialParams(entry, phonebook)) return false;
    char(&field)[kUnLen + 1] = password ? m_dialParams.szPassword : m_dialParams.szUserName;
    CopyField(field, value);

    if (!IsWindows2000OrLater()) {
        bool ok = SetDialParams(entry, phonebook);
        WipePassword();
        return ok;
    }
    RASCREDENTIALS_V1 cred{};
    cred.dwSize = sizeof cred;
    cred.dwMask = password ? RASCM_Password : RASCM_UserName;
    std::memcpy(password ? cred.szPassword : cred.szUserName, field, sizeof field);
    m_dwError = ras::SetCredentials(PhonebookArg(phonebook), entry, &cred, FALSE);
    SecureWipe(&cred, sizeof cred);
    WipePassword();
    return m_dwError == 0;
}

bool CRasDialer::Dial(const CString& entry, HRASCONN* phConn, RasDialFunc notifier, const CString* prefix,
                      const CString* phonebook)
{
    if (entry.IsEmpty()) return false;
    if (!GetEntryProperties(entry, phonebook) || !GetDialParams(entry, phonebook)) return false;

    // The prefix followed by the local number, at most 128 bytes in all.
    unsigned char* number = reinterpret_cast<unsigned char*>(m_dialParams.szPhoneNumber);
    number[0] = 0;
    if (prefix && TakesDialPrefix(m_entry)) _mbsnbcpy(number, reinterpret_cast<const unsigned char*>(prefix->c_str()), kRasMaxPhoneNumber);
    number[kRasMaxPhoneNumber] = 0;
    size_t used = std::strlen(m_dialParams.szPhoneNumber);
    if (used < static_cast<size_t>(kRasMaxPhoneNumber)) {
        char local[kRasMaxPhoneNumber + 1];
        std::memcpy(local, m_entry.szLocalPhoneNumber, sizeof local);
        local[kRasMaxPhoneNumber] = 0;
        _mbsnbcat(number, reinterpret_cast<const unsigned char*>(local), kRasMaxPhoneNumber - used);
    }
    number[kRasMaxPhoneNumber] = 0;

    CString deviceType(m_entry.szDeviceType, static_cast<int>(strnlen(m_entry.szDeviceType, kRasMaxDeviceType)));
    if (FindConnection(entry, deviceType)) HangUpConnection(m_hFoundConn);

    *phConn = nullptr;
    m_dialParams.dwSize = sizeof(RASDIALPARAMS_V1);
    m_dwError = ras::Dial(PhonebookArg(phonebook), &m_dialParams, notifier, phConn);
    WipePassword();
    if (m_dwError == 0) return true;
    if (*phConn) HangUpConnection(*phConn);  // leave no half-open connection
    return false;
}

bool CRasDialer::EnumConnections()
{
    FreeConns();
    m_nConns = 0;
    DWORD size = kRasConnGrowth;
    for (;;) {
        m_pConns = static_cast<RASCONN_V1*>(GlobalAlloc(GPTR, size));
        if (!m_pConns) return false;
        m_pConns[0].dwSize = sizeof(RASCONN_V1);
        DWORD bytes = size, count = 0;
        DWORD r = ras::EnumConnections(m_pConns, &bytes, &count);
        if (r == kRasErrorBufferTooSmall || r == ERROR_NOT_ENOUGH_MEMORY) {
            FreeConns();
            // A service that asks for ever more would keep the window frozen
            // for minutes: past any real number of connections, give up.
            if (size >= kRasConnBufferLimit) return false;
            size += kRasConnGrowth;
            continue;
        }
        if (r == 0) {
            DWORD capacity = size / sizeof(RASCONN_V1);
            m_nConns = count < capacity ? count : capacity;
            return true;
        }
        FreeConns();
        return false;
    }
}

bool CRasDialer::FindConnection(const CString& entry, const CString& deviceType)
{
    if (!EnumConnections() || m_nConns == 0) return false;
    for (DWORD i = 0; i < m_nConns; ++i) {
        const RASCONN_V1& c = m_pConns[i];
        char name[kRasMaxEntryName + 1], type[kRasMaxDeviceType + 1];
        std::memcpy(name, c.szEntryName, sizeof name);
        std::memcpy(type, c.szDeviceType, sizeof type);
        name[kRasMaxEntryName] = 0;
        type[kRasMaxDeviceType] = 0;
        if (entry.CompareNoCase(name) == 0 && deviceType.CompareNoCase(type) == 0) {
            m_hFoundConn = c.hrasconn;
            return true;
        }
    }
    return false;
}

bool CRasDialer::FindActiveConnection(HRASCONN* phConn)
{
    if (!EnumConnections()) return false;
    // A connected connection wins over one being set up, whatever their order.
    for (bool (*test)(const HRASCONN*) : {IsConnected, IsConnecting}) {
        for (DWORD i = 0; i < m_nConns; ++i) {
            HRASCONN h = m_pConns[i].hrasconn;  // the array is packed: no pointer into it
            if (test(&h)) {
                *phConn = h;
                return true;
            }
        }
    }
    *phConn = nullptr;
    return false;
}

bool EnumPhonebookEntries(CNameList& names, const CString* phonebook)
{
    names.RemoveAll();
    LPCSTR book = phonebook ? phonebook->c_str() : nullptr;
    DWORD size = sizeof(RASENTRYNAME_V1), count = 0;
    CGlobalMem buffer(GlobalAlloc(GPTR, size));
    if (buffer) {
        static_cast<RASENTRYNAME_V1*>(buffer.Get())->dwSize = sizeof(RASENTRYNAME_V1);
        if (ras::EnumEntries(book, static_cast<RASENTRYNAME_V1*>(buffer.Get()), &size, &count) ==
            kRasErrorBufferTooSmall) {
            buffer.Reset(GlobalAlloc(GPTR, size));
            if (buffer) static_cast<RASENTRYNAME_V1*>(buffer.Get())->dwSize = sizeof(RASENTRYNAME_V1);
        }
    }
    if (!buffer) return false;
    DWORD bytes = size;
    if (ras::EnumEntries(book, static_cast<RASENTRYNAME_V1*>(buffer.Get()), &bytes, &count) != 0) return false;
    const auto* entries = static_cast<const RASENTRYNAME_V1*>(buffer.Get());
    DWORD capacity = size / sizeof(RASENTRYNAME_V1);  // never trust a count beyond the buffer
    for (DWORD i = 0; i < count && i < capacity; ++i) {
        char name[kRasMaxEntryName + 1];
        std::memcpy(name, entries[i].szEntryName, sizeof name);
        name[kRasMaxEntryName] = 0;
        if (!names.Add(name)) {
            names.RemoveAll();  // a failed enumeration leaves no half list
            return false;
        }
    }
    return true;
}

bool HangUpConnection(HRASCONN hConn)
{
    if (ras::HangUp(hConn) != 0) return false;
    // A modem drops the line and answers its reset within seconds; Microsoft
    // deems a pause of 3 s enough. A port held past this is not let go, and
    // waiting on would freeze the window for good.
    constexpr DWORD kHangUpWaitMs = 10000;
    for (DWORD start = GetTickCount(); GetTickCount() - start < kHangUpWaitMs;) {
        Sleep(0);
        RASCONNSTATUS_V1 status;
        std::memset(&status, 0, sizeof status);
        status.dwSize = sizeof status;
        DWORD r = ras::GetConnectStatus(hConn, &status);
        if (r == ERROR_INVALID_HANDLE) return true;
        if (r != 0) {
            Sleep(100);
            return true;
        }
    }
    return false;
}

bool ConnectionExists(HRASCONN hConn)
{
    RASCONNSTATUS_V1 status;
    return StatusOf(hConn, status);
}

bool IsConnected(const HRASCONN* phConn)
{
    RASCONNSTATUS_V1 status;
    return StatusOf(*phConn, status) && status.rasconnstate == RASCS_Connected;
}

bool IsConnecting(const HRASCONN* phConn)
{
    RASCONNSTATUS_V1 status;
    return StatusOf(*phConn, status) && status.rasconnstate != RASCS_Connected &&
           status.rasconnstate != RASCS_Disconnected;
}

bool GetConnectionDeviceName(const HRASCONN* phConn, CString& name)
{
    name.Empty();
    RASCONNSTATUS_V1 status;
    if (!StatusOf(*phConn, status)) return false;
    name = CString(status.szDeviceName, static_cast<int>(strnlen(status.szDeviceName, kRasMaxDeviceName)));
    return true;
}

bool IsWindows2000OrLater()
{
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExA(&info)) return false;
#pragma GCC diagnostic pop
    return info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion >= 5;
}
