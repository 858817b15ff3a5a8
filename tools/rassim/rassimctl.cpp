// Control tool of the simulated remote-access service, for tests and the demo.
//   rassimctl reset
//   rassimctl entry NAME [phone=N] [devicetype=T] [devicename=D] [user=U] [password=P]
//                        [domain=D] [alternates=N] [accept_password=P]
//   rassimctl script NAME STEPS...      append an attempt script (the last repeats)
//   rassimctl remove NAME
//   rassimctl config KEY VALUE          hangup_latency_ms, delete_password_on_failure
//   rassimctl fault FUNCTION CODE [NTH] [set_handle]   |   rassimctl fault clear
//   rassimctl connect NAME [DEVICETYPE [DEVICENAME [STATE]]]   prints the handle
//   rassimctl drop HANDLE|all
//   rassimctl dial NAME [NUMBER]         dials through the installed service, waits for the end
//   rassimctl open-url URL              records a web address the shell was asked to open
//   rassimctl list | show | journal
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "ras/ras_types.h"
#include "sim_state.h"

using namespace rassim;

static int Usage()
{
    std::fprintf(stderr, "usage: rassimctl reset|entry|script|remove|config|fault|connect|drop|list|show|journal ...\n");
    return 2;
}

static bool SetEntryField(Entry& e, const std::string& kv)
{
    size_t eq = kv.find('=');
    if (eq == std::string::npos) return false;
    std::string k = kv.substr(0, eq), v = kv.substr(eq + 1);
    if (k == "phone") e.phone = v;
    else if (k == "devicetype") e.deviceType = v;
    else if (k == "devicename") e.deviceName = v;
    else if (k == "user") e.user = v;
    else if (k == "password") {
        e.password = v;
        e.passwordSaved = true;
    }
    else if (k == "domain") e.domain = v;
    else if (k == "alternates") e.alternates = std::atoi(v.c_str());
    else if (k == "accept_password") {
        e.acceptPassword = v;
        e.checkPassword = true;
    } else return false;
    return true;
}

static HANDLE g_done;
static DWORD g_lastState, g_lastError;

static void WINAPI DialNotify(UINT, RASCONNSTATE state, DWORD error)
{
    g_lastState = state;
    g_lastError = error;
    std::printf("state 0x%lx error %lu\n", static_cast<unsigned long>(state), static_cast<unsigned long>(error));
    if (error || state == RASCS_Connected || state == RASCS_Disconnected) SetEvent(g_done);
}

// Dials like a program would, through the DLL of the system directory; the
// connection stays up after this process ends.
static int Dial(const char* entry, const char* number)
{
    char path[MAX_PATH];
    GetSystemDirectoryA(path, MAX_PATH);
    lstrcatA(path, "\\rasapi32.dll");
    HMODULE dll = LoadLibraryA(path);
    if (!dll) return 3;
    using DialFn = DWORD(WINAPI*)(void*, LPCSTR, RASDIALPARAMS_V1*, DWORD, void*, HRASCONN*);
    auto dial = reinterpret_cast<DialFn>(reinterpret_cast<void*>(GetProcAddress(dll, "RasDialA")));
    if (!dial) return 3;
    RASDIALPARAMS_V1 params{};
    params.dwSize = sizeof params;
    lstrcpynA(params.szEntryName, entry, sizeof params.szEntryName);
    if (number) lstrcpynA(params.szPhoneNumber, number, sizeof params.szPhoneNumber);
    g_done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HRASCONN conn = nullptr;
    DWORD r = dial(nullptr, nullptr, &params, 0, reinterpret_cast<void*>(&DialNotify), &conn);
    std::printf("handle %u result %lu\n", static_cast<unsigned>(reinterpret_cast<uintptr_t>(conn)),
                static_cast<unsigned long>(r));
    if (r) return 1;
    WaitForSingleObject(g_done, 30000);
    return g_lastState == RASCS_Connected && !g_lastError ? 0 : 1;
}

int main(int argc, char** argv)
{
    if (argc < 2) return Usage();
    std::string cmd = argv[1];
    if (cmd == "dial" && argc >= 3) return Dial(argv[2], argc >= 4 ? argv[3] : nullptr);
    if (cmd == "reset") {
        ResetAll();
        return 0;
    }
    if (cmd == "open-url" && argc >= 3) {
        Journal("OpenURL", {{"url", argv[2]}});
        return 0;
    }
    if (cmd == "journal") {
        std::fputs(ReadJournal().c_str(), stdout);
        return 0;
    }
    Session s;
    State& st = s.state();
    if (cmd == "show") {
        std::fputs(Serialize(st).c_str(), stdout);
        return 0;
    }
    if (cmd == "list") {
        for (const Conn& c : st.conns)
            std::printf("%u\t%s\t%s\t%s\t0x%x\t%u\n", c.handle, c.entry.c_str(), c.deviceType.c_str(),
                        c.deviceName.c_str(), c.state, c.error);
        return 0;
    }
    if (cmd == "entry" && argc >= 3) {
        // As Windows' own phone-book editor would, refuse a name the service refuses.
        if (!ValidEntryName(argv[2], IsNt5())) {
            std::fprintf(stderr, "rassimctl: \"%s\" is no valid entry name\n", argv[2]);
            return 1;
        }
        Entry* e = st.FindEntry(argv[2]);
        if (!e) {
            st.entries.emplace_back();
            e = &st.entries.back();
            e->name = argv[2];
        }
        for (int i = 3; i < argc; ++i)
            if (!SetEntryField(*e, argv[i])) return Usage();
        s.Commit();
        return 0;
    }
    if (cmd == "script" && argc >= 4) {
        Entry* e = st.FindEntry(argv[2]);
        if (!e) return 1;
        std::string script;
        for (int i = 3; i < argc; ++i) {
            if (i > 3) script += ' ';
            script += argv[i];
        }
        e->scripts.push_back(script);
        s.Commit();
        return 0;
    }
    if (cmd == "remove" && argc >= 3) {
        for (size_t i = 0; i < st.entries.size(); ++i)
            if (st.entries[i].name == argv[2]) {
                st.entries.erase(st.entries.begin() + static_cast<long>(i));
                s.Commit();
                return 0;
            }
        return 1;
    }
    if (cmd == "config" && argc >= 4) {
        std::string k = argv[2];
        int v = std::atoi(argv[3]);
        if (k == "hangup_latency_ms") st.hangupLatencyMs = v;
        else if (k == "delete_password_on_failure") st.deletePasswordOnFailure = v != 0;
        else return Usage();
        s.Commit();
        return 0;
    }
    if (cmd == "fault" && argc >= 3) {
        if (std::string(argv[2]) == "clear") st.faults.clear();
        else if (argc >= 4) {
            Fault f;
            f.code = static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 0));
            f.nth = argc >= 5 ? std::atoi(argv[4]) : 0;
            f.setHandle = argc >= 6 && std::string(argv[5]) == "set_handle";
            st.faults[argv[2]] = f;
        } else return Usage();
        s.Commit();
        return 0;
    }
    if (cmd == "connect" && argc >= 3) {
        Conn c;
        c.handle = st.nextHandle++;
        c.entry = argv[2];
        const Entry* e = st.FindEntry(argv[2]);
        c.deviceType = argc >= 4 ? argv[3] : (e ? e->deviceType : "modem");
        c.deviceName = argc >= 5 ? argv[4] : (e ? e->deviceName : "Simulated Modem");
        c.state = argc >= 6 ? static_cast<uint32_t>(std::strtoul(argv[5], nullptr, 0)) : RASCS_Connected;
        st.conns.push_back(c);
        s.Commit();
        std::printf("%u\n", c.handle);
        return 0;
    }
    if (cmd == "drop" && argc >= 3) {
        if (std::string(argv[2]) == "all") st.conns.clear();
        else st.RemoveConn(static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 0)));
        s.Commit();
        return 0;
    }
    return Usage();
}
