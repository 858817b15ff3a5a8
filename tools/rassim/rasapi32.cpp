// The simulated remote-access service: the calls of RASAPI32 that the dialer
// uses, with the real service's contracts, on the shared state of sim_state.
#include <windows.h>

#include <cstring>
#include <sstream>
#include <string>

#include "ras/ras_types.h"
#include "sim_state.h"

using namespace rassim;

namespace {

constexpr DWORD kErrInvalidHandle = ERROR_INVALID_HANDLE;  // 6
constexpr DWORD kErrInvalidName = ERROR_INVALID_NAME;      // 123
constexpr DWORD kErrAlreadyExists = ERROR_ALREADY_EXISTS;  // 183
constexpr DWORD kErrInvalidParameter = ERROR_INVALID_PARAMETER;
constexpr DWORD kErrCannotOpenPhonebook = 621;
constexpr DWORD kErrPortNotAvailable = 633;
constexpr DWORD kErrDialAlreadyInProgress = 756;
constexpr DWORD kWmRasDialEvent = 0xCCCD;

// The first published sizes for this architecture, as numbers of our own:
// never the program's structures, whose layout is what is being checked.
constexpr DWORD kSizeEntryName = 264;
constexpr DWORD kSizeDialParams = 1052;
#ifdef _WIN64
constexpr DWORD kSizeConn = 416;
#else
constexpr DWORD kSizeConn = 412;
#endif
constexpr DWORD kSizeConnStatus = 160;
constexpr DWORD kSizeEntry = 1768;
constexpr DWORD kSizeCredentials = 540;

// Null is the default phone-book; a path must name a file that exists.
bool PhonebookMissing(LPCSTR phonebook)
{
    return phonebook && GetFileAttributesA(phonebook) == INVALID_FILE_ATTRIBUTES;
}

// Everything up to the first NUL of a field, never beyond the field.
template <size_t N>
std::string Field(const char (&f)[N])
{
    return std::string(f, strnlen(f, N));
}

template <size_t N>
void Put(char (&f)[N], const std::string& v)
{
    size_t n = v.size() < N - 1 ? v.size() : N - 1;
    std::memcpy(f, v.data(), n);
    f[n] = 0;
}

// A dial script: "S@ms" steps, then "connected@ms", "fail:ERR@ms",
// "disconnected@ms" or "hang"; "std@ms" stands for the usual states.
struct Step {
    enum Kind { kState, kConnected, kFail, kDisconnected, kHang } kind;
    DWORD value;
    DWORD delay;
};

std::vector<Step> ParseScript(const std::string& script)
{
    std::vector<Step> steps;
    std::istringstream in(script.empty() ? "std@20 connected@20" : script);
    std::string tok;
    while (in >> tok) {
        DWORD delay = 0;
        size_t at = tok.find('@');
        if (at != std::string::npos) {
            delay = static_cast<DWORD>(std::strtoul(tok.c_str() + at + 1, nullptr, 0));
            tok.resize(at);
        }
        if (tok == "std") {
            for (DWORD s : {RASCS_OpenPort, RASCS_PortOpened, RASCS_ConnectDevice, RASCS_DeviceConnected,
                            RASCS_AllDevicesConnected, RASCS_Authenticate, RASCS_AuthNotify, RASCS_Authenticated})
                steps.push_back({Step::kState, s, delay});
        } else if (tok == "connected") steps.push_back({Step::kConnected, RASCS_Connected, delay});
        else if (tok == "disconnected") steps.push_back({Step::kDisconnected, RASCS_Disconnected, delay});
        else if (tok == "hang") steps.push_back({Step::kHang, 0, delay});
        else if (tok.rfind("fail:", 0) == 0)
            steps.push_back({Step::kFail, static_cast<DWORD>(std::strtoul(tok.c_str() + 5, nullptr, 0)), delay});
        else steps.push_back({Step::kState, static_cast<DWORD>(std::strtoul(tok.c_str(), nullptr, 0)), delay});
    }
    return steps;
}

struct DialJob {
    uint32_t handle;
    RasDialFunc notifier;
    std::vector<Step> steps;
    std::string entry;
    bool passwordRejected;
};

// Applies one step to the shared state; false when the connection is gone or
// being hung up, after which the service reports nothing more.
bool ApplyStep(DialJob& job, const Step& step, DWORD* state, DWORD* error)
{
    Session s;
    Conn* c = s.state().FindConn(job.handle);
    if (!c || c->hangupAt) return false;
    *error = 0;
    switch (step.kind) {
    case Step::kState:
        c->state = step.value;
        if (job.passwordRejected && step.value == RASCS_Authenticate) {
            c->error = *error = 691;
        }
        break;
    case Step::kConnected:
    case Step::kDisconnected:
        c->state = step.value;
        break;
    case Step::kFail:
        c->error = *error = step.value;
        break;
    case Step::kHang:
        return false;
    }
    *state = c->state;
    if (*error && s.state().deletePasswordOnFailure && IsNt5()) {
        if (Entry* e = s.state().FindEntry(job.entry)) {
            e->password.clear();
            e->passwordSaved = false;
        }
    }
    s.Commit();
    return true;
}

// Runs an attempt's steps; answers the error it ended with (0: connected, or
// disconnected, or the script stopped with the attempt still in progress).
DWORD RunSteps(DialJob& job)
{
    DWORD result = 0;
    for (const Step& step : job.steps) {
        Sleep(step.delay);
        DWORD state = 0, error = 0;
        if (!ApplyStep(job, step, &state, &error)) break;
        bool last = error || step.kind == Step::kConnected || step.kind == Step::kDisconnected;
        // The moment an attempt ends, so that a measurement can time what follows.
        if (last)
            Journal("AttemptEnd", {{"handle", std::to_string(job.handle)},
                                   {"state", std::to_string(state)},
                                   {"error", std::to_string(error)}});
        if (job.notifier) job.notifier(kWmRasDialEvent, state, error);
        if (last) {
            result = error;
            break;
        }
    }
    return result;
}

DWORD WINAPI DialThread(void* param)
{
    DialJob* job = static_cast<DialJob*>(param);
    RunSteps(*job);
    delete job;
    return 0;
}

}  // namespace

extern "C" {

// The test bed's page heap goes into the programs it names as soon as they
// load the service, which is the one DLL of the bed inside them.
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void*)
{
    char path[MAX_PATH + 16];
    if (reason != DLL_PROCESS_ATTACH || !GetEnvironmentVariableA("PENDRO_GUARD_HEAP", path, 2)) return TRUE;
    UINT n = GetSystemDirectoryA(path, MAX_PATH);
    if (n && n < MAX_PATH) LoadLibraryA(std::strcat(path, "\\guardheap.dll"));
    return TRUE;
}

DWORD WINAPI RasValidateEntryNameA(LPCSTR phonebook, LPCSTR entry)
{
    if (PhonebookMissing(phonebook)) return kErrCannotOpenPhonebook;
    Session s;
    if (DWORD f = s.state().CheckFault("RasValidateEntryNameA")) return f;
    if (!ValidEntryName(entry, IsNt5())) return kErrInvalidName;
    return s.state().FindEntry(entry) ? kErrAlreadyExists : ERROR_SUCCESS;
}

DWORD WINAPI RasEnumEntriesA(LPCSTR reserved, LPCSTR phonebook, RASENTRYNAME_V1* names, LPDWORD size,
                             LPDWORD count)
{
    if (reserved || !size || !count) return kErrInvalidParameter;
    if (!names) return kErrInvalidParameter;
    if (names->dwSize != kSizeEntryName) return kRasErrorInvalidSize;
    if (PhonebookMissing(phonebook)) return kErrCannotOpenPhonebook;
    Session s;
    if (DWORD f = s.state().CheckFault("RasEnumEntriesA")) return f;
    DWORD n = static_cast<DWORD>(s.state().entries.size());
    DWORD needed = n * kSizeEntryName;
    if (*size < needed) {
        *size = needed;  // the count and the buffer are left alone
        return kRasErrorBufferTooSmall;
    }
    BYTE* out = reinterpret_cast<BYTE*>(names);
    for (const Entry& e : s.state().entries) {
        RASENTRYNAME_V1* r = reinterpret_cast<RASENTRYNAME_V1*>(out);
        std::memset(r, 0, kSizeEntryName);
        r->dwSize = kSizeEntryName;
        Put(r->szEntryName, e.name);
        out += kSizeEntryName;
    }
    *size = needed;
    *count = n;
    return ERROR_SUCCESS;
}

DWORD WINAPI RasGetEntryPropertiesA(LPCSTR phonebook, LPCSTR entry, RASENTRY_V1* props, LPDWORD propsSize,
                                    LPBYTE devInfo, LPDWORD devInfoSize)
{
    (void)devInfo;
    if (!propsSize) return kErrInvalidParameter;
    if (PhonebookMissing(phonebook)) return kErrCannotOpenPhonebook;
    Session s;
    if (DWORD f = s.state().CheckFault("RasGetEntryPropertiesA")) return f;
    const Entry* e = entry && *entry ? s.state().FindEntry(entry) : nullptr;
    if (entry && *entry && !e) return kRasErrorCannotFindEntry;
    // Alternate numbers follow the structure as a multi-string of 30-byte numbers.
    DWORD altBytes = e && e->alternates > 0 ? static_cast<DWORD>(e->alternates) * 30 + 1 : 0;
    DWORD needed = kSizeEntry + altBytes;
    if (props && props->dwSize != kSizeEntry) return kRasErrorInvalidSize;
    if (devInfoSize) *devInfoSize = 0;
    if (!props || *propsSize < needed) {
        *propsSize = needed;
        return kRasErrorBufferTooSmall;
    }
    std::memset(reinterpret_cast<BYTE*>(props) + sizeof(DWORD), 0, needed - sizeof(DWORD));
    if (e) {
        Put(props->szLocalPhoneNumber, e->phone);
        Put(props->szDeviceType, e->deviceType);
        Put(props->szDeviceName, e->deviceName);
        if (altBytes) {
            props->dwAlternateOffset = kSizeEntry;
            char* alt = reinterpret_cast<char*>(props) + kSizeEntry;
            for (int i = 0; i < e->alternates; ++i) std::snprintf(alt + i * 30, 30, "%028d", i);
        }
    }
    *propsSize = needed;
    return ERROR_SUCCESS;
}

DWORD WINAPI RasGetEntryDialParamsA(LPCSTR phonebook, RASDIALPARAMS_V1* params, LPBOOL passwordReturned)
{
    if (!params || !passwordReturned) return kErrInvalidParameter;
    if (params->dwSize != kSizeDialParams) return kRasErrorInvalidSize;
    if (PhonebookMissing(phonebook)) return kErrCannotOpenPhonebook;
    Session s;
    if (DWORD f = s.state().CheckFault("RasGetEntryDialParamsA")) return f;
    const Entry* e = s.state().FindEntry(Field(params->szEntryName));
    if (!e) return kRasErrorCannotFindEntry;
    params->szPhoneNumber[0] = 0;
    params->szCallbackNumber[0] = 0;
    Put(params->szUserName, e->user);
    Put(params->szDomain, e->domain);
    // NT 5+ never hands out the saved password itself, only a stand-in for it.
    if (IsNt5()) Put(params->szPassword, e->passwordSaved ? kSavedPasswordPlaceholder : "");
    else Put(params->szPassword, e->password);
    *passwordReturned = e->passwordSaved;
    return ERROR_SUCCESS;
}

DWORD WINAPI RasSetEntryDialParamsA(LPCSTR phonebook, RASDIALPARAMS_V1* params, BOOL removePassword)
{
    if (!params) return kErrInvalidParameter;
    if (params->dwSize != kSizeDialParams) return kRasErrorInvalidSize;
    if (PhonebookMissing(phonebook)) return kErrCannotOpenPhonebook;
    Session s;
    DWORD f = s.state().CheckFault("RasSetEntryDialParamsA");
    std::string name = Field(params->szEntryName);
    std::string user = Field(params->szUserName), password = Field(params->szPassword);
    Journal("RasSetEntryDialParamsA", {{"entry", name},
                                       {"user", user},
                                       {"password", password},
                                       {"domain", Field(params->szDomain)},
                                       {"remove_password", removePassword ? "1" : "0"},
                                       {"result", std::to_string(f ? f : 0)}});
    if (f) return f;
    Entry* e = s.state().FindEntry(name);
    if (!e) return kRasErrorCannotFindEntry;
    bool nt5 = IsNt5();
    std::string domain = Field(params->szDomain);
    if (!domain.empty()) e->domain = domain;
    if (removePassword) {
        e->password.clear();
        e->passwordSaved = false;
    } else if (user.empty() && nt5) {
        // An empty user name keeps user name and password; NT 4 sets the password anyway.
    } else if (nt5 && password == kSavedPasswordPlaceholder) {
        // The stand-in handed out keeps the saved password.
    } else {
        e->password = password;
        e->passwordSaved = true;
    }
    if (!user.empty()) e->user = user;
    s.Commit();
    return ERROR_SUCCESS;
}

DWORD WINAPI RasSetCredentialsA(LPCSTR phonebook, LPCSTR entry, RASCREDENTIALS_V1* cred, BOOL clearCredentials)
{
    if (!IsNt5()) return ERROR_CALL_NOT_IMPLEMENTED;  // NT 4 has no such function
    if (!entry || !cred) return kErrInvalidParameter;
    if (cred->dwSize != kSizeCredentials) return kRasErrorInvalidSize;
    if (PhonebookMissing(phonebook)) return kErrCannotOpenPhonebook;
    Session s;
    DWORD f = s.state().CheckFault("RasSetCredentialsA");
    char mask[16];
    std::snprintf(mask, sizeof mask, "0x%lx", static_cast<unsigned long>(cred->dwMask));
    std::vector<std::pair<std::string, std::string>> fields = {{"entry", entry}, {"mask", mask}};
    if (cred->dwMask & RASCM_UserName) fields.push_back({"user", Field(cred->szUserName)});
    if (cred->dwMask & RASCM_Password) fields.push_back({"password", Field(cred->szPassword)});
    if (cred->dwMask & RASCM_Domain) fields.push_back({"domain", Field(cred->szDomain)});
    fields.push_back({"clear", clearCredentials ? "1" : "0"});
    fields.push_back({"result", std::to_string(f)});
    Journal("RasSetCredentialsA", fields);
    if (f) return f;
    Entry* e = s.state().FindEntry(entry);
    if (!e) return kRasErrorCannotFindEntry;
    if (cred->dwMask & RASCM_UserName) e->user = clearCredentials ? std::string() : Field(cred->szUserName);
    if (cred->dwMask & RASCM_Password) {
        e->password = clearCredentials ? std::string() : Field(cred->szPassword);
        e->passwordSaved = !clearCredentials;
    }
    if (cred->dwMask & RASCM_Domain) e->domain = clearCredentials ? std::string() : Field(cred->szDomain);
    s.Commit();
    return ERROR_SUCCESS;
}

DWORD WINAPI RasGetCredentialsA(LPCSTR phonebook, LPCSTR entry, RASCREDENTIALS_V1* cred)
{
    if (!IsNt5()) return ERROR_CALL_NOT_IMPLEMENTED;
    if (!entry || !cred) return kErrInvalidParameter;
    if (cred->dwSize != kSizeCredentials) return kRasErrorInvalidSize;
    if (PhonebookMissing(phonebook)) return kErrCannotOpenPhonebook;
    Session s;
    if (DWORD f = s.state().CheckFault("RasGetCredentialsA")) return f;
    const Entry* e = s.state().FindEntry(entry);
    if (!e) return kRasErrorCannotFindEntry;
    if (cred->dwMask & RASCM_UserName) Put(cred->szUserName, e->user);
    if (cred->dwMask & RASCM_Password) Put(cred->szPassword, e->passwordSaved ? kSavedPasswordPlaceholder : "");
    if (cred->dwMask & RASCM_Domain) Put(cred->szDomain, e->domain);
    return ERROR_SUCCESS;
}

DWORD WINAPI RasDialA(void* extensions, LPCSTR phonebook, RASDIALPARAMS_V1* params, DWORD notifierType,
                      void* notifier, HRASCONN* conn)
{
    (void)extensions;
    if (!params || !conn) return kErrInvalidParameter;
    if (params->dwSize != kSizeDialParams) return kRasErrorInvalidSize;
    if (notifier && notifierType != 0) return kErrInvalidParameter;  // only RasDialFunc is simulated
    // A handle passed in asks to resume a paused connection; there are none.
    if (*conn) return kErrInvalidHandle;
    if (PhonebookMissing(phonebook)) return kErrCannotOpenPhonebook;

    DialJob* job = nullptr;
    {
        Session s;
        State& st = s.state();
        bool setHandle = false;
        DWORD fault = st.CheckFault("RasDialA", &setHandle);
        std::string name = Field(params->szEntryName);
        Entry* e = st.FindEntry(name);
        std::string number = Field(params->szPhoneNumber);
        if (number.empty() && e) number = e->phone;
        std::string user = Field(params->szUserName), password = Field(params->szPassword);
        bool placeholder = IsNt5() && e && password == kSavedPasswordPlaceholder;
        if (placeholder) password = e->password;  // the stand-in dials with the saved password

        DWORD result = fault ? fault : (e ? 0 : kRasErrorCannotFindEntry);
        // A device is busy until its connection has been released after the hang-up.
        if (!result) {
            for (const Conn& c : st.conns) {
                if (lstrcmpiA(c.entry.c_str(), name.c_str()) == 0) {
                    result = kErrDialAlreadyInProgress;
                    break;
                }
                if (c.deviceName == e->deviceName) result = kErrPortNotAvailable;
            }
        }
        uint32_t handle = 0;
        if (result == 0 || (fault && setHandle)) {
            handle = st.nextHandle++;
            Conn c;
            c.handle = handle;
            c.entry = name;
            c.deviceType = e ? e->deviceType : "";
            c.deviceName = e ? e->deviceName : "";
            c.number = number;
            c.state = RASCS_OpenPort;
            c.error = result;
            c.ownerPid = GetCurrentProcessId();
            st.conns.push_back(c);
            *conn = reinterpret_cast<HRASCONN>(static_cast<uintptr_t>(handle));
        }
        Journal("RasDialA", {{"entry", name},
                             {"number", number},
                             {"user", user},
                             {"password", password},
                             {"placeholder", placeholder ? "1" : "0"},
                             {"domain", Field(params->szDomain)},
                             {"handle", std::to_string(handle)},
                             {"result", std::to_string(result)}});
        if (result) {
            if (handle) s.Commit();
            return result;
        }
        size_t attempt = static_cast<size_t>(e->attemptsMade++);
        std::string script = e->scripts.empty()
                                 ? std::string()
                                 : e->scripts[attempt < e->scripts.size() ? attempt : e->scripts.size() - 1];
        bool rejected = e->checkPassword && password != e->acceptPassword;
        job = new DialJob{handle, reinterpret_cast<RasDialFunc>(notifier), ParseScript(script), name, rejected};
        s.Commit();
    }
    if (!notifier) {
        // Without a notifier the call returns when the attempt has ended.
        DWORD r = RunSteps(*job);
        delete job;
        return r;
    }
    HANDLE t = CreateThread(nullptr, 0, DialThread, job, 0, nullptr);
    if (t) CloseHandle(t);
    else delete job;
    return 0;
}

DWORD WINAPI RasHangUpA(HRASCONN conn)
{
    uint32_t handle = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(conn));
    Session s;
    DWORD f = s.state().CheckFault("RasHangUpA");
    Conn* c = s.state().FindConn(handle);
    DWORD result = f ? f : (c ? 0 : kErrInvalidHandle);
    if (!result && !c->hangupAt) {
        c->hangupAt = NowMs() + s.state().hangupLatencyMs;
        s.Commit();
    }
    Journal("RasHangUpA", {{"handle", std::to_string(handle)}, {"result", std::to_string(result)}});
    return result;
}

DWORD WINAPI RasGetConnectStatusA(HRASCONN conn, RASCONNSTATUS_V1* status)
{
    if (!status) return kErrInvalidParameter;
    if (status->dwSize != kSizeConnStatus) return kRasErrorInvalidSize;
    uint32_t handle = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(conn));
    Session s;
    if (DWORD f = s.state().CheckFault("RasGetConnectStatusA")) return f;
    const Conn* c = s.state().FindConn(handle);
    if (!c) return kErrInvalidHandle;
    status->rasconnstate = c->state;
    status->dwError = c->error;
    Put(status->szDeviceType, c->deviceType);
    Put(status->szDeviceName, c->deviceName);
    return ERROR_SUCCESS;
}

DWORD WINAPI RasEnumConnectionsA(RASCONN_V1* conns, LPDWORD size, LPDWORD count)
{
    if (!conns || !size || !count) return kErrInvalidParameter;
    if (conns->dwSize != kSizeConn) return kRasErrorInvalidSize;
    Session s;
    if (DWORD f = s.state().CheckFault("RasEnumConnectionsA")) return f;
    DWORD n = static_cast<DWORD>(s.state().conns.size());
    if (*size < n * kSizeConn) {
        *size = n * kSizeConn;  // the count and the buffer are left alone
        return kRasErrorBufferTooSmall;
    }
    BYTE* out = reinterpret_cast<BYTE*>(conns);
    for (const Conn& c : s.state().conns) {
        RASCONN_V1* r = reinterpret_cast<RASCONN_V1*>(out);
        std::memset(r, 0, kSizeConn);
        r->dwSize = kSizeConn;
        r->hrasconn = reinterpret_cast<HRASCONN>(static_cast<uintptr_t>(c.handle));
        Put(r->szEntryName, c.entry);
        Put(r->szDeviceType, c.deviceType);
        Put(r->szDeviceName, c.deviceName);
        out += kSizeConn;
    }
    *size = n * kSizeConn;
    *count = n;
    return ERROR_SUCCESS;
}

DWORD WINAPI RasGetErrorStringA(UINT code, LPSTR buffer, DWORD size);

}  // extern "C"
