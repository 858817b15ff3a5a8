// Measures the real program under Wine on the simulated service: start-up
// against a baseline dialog program, how soon a connection is noticed, the
// cost of one attempt, CPU while idle and while dialing, and memory.
// Writes "name value" lines, one per sample, to the file given as argument.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "baseline.h"
#include "ras/ras_types.h"
#include "unit/test_util.h"

namespace {

const char kCaption[] = "Kelvane Pendro! - Version 1.0";
const char kKey[] = "Software\\Kelvane\\Pendro";
const char kPwdKey[] = "Software\\Kelvane\\Pendro\\Pwd";
constexpr int kDial = 1000, kLog = 1003, kPrefix = 1004, kCancel = 1006;

FILE* g_out;

void Put(const char* name, double value)
{
    std::fprintf(g_out, "%s %.3f\n", name, value);
    std::fflush(g_out);
}

double NowMs()  // the clock of the simulated service's journal
{
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    ULARGE_INTEGER u{{ft.dwLowDateTime, ft.dwHighDateTime}};
    return static_cast<double>(u.QuadPart) / 10000.0;
}

double Qpc()
{
    static LARGE_INTEGER freq = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(freq.QuadPart);
}

bool WaitFor(bool (*condition)(void*), void* arg, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (!condition(arg)) {
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(1);
    }
    return true;
}

struct Process {
    PROCESS_INFORMATION pi{};
    HWND main = nullptr;
    const char* caption = nullptr;

    bool Start(const std::string& exe, const std::string& args, const char* windowCaption)
    {
        caption = windowCaption;
        std::string cmd = "\"" + exe + "\"" + (args.empty() ? "" : " " + args);
        STARTUPINFOA si{};
        si.cb = sizeof si;
        for (int attempt = 0; attempt < 3; ++attempt) {  // Wine now and then refuses a start
            if (CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
                return true;
            Sleep(200);
        }
        std::fprintf(stderr, "cannot start %s\n", cmd.c_str());
        return false;
    }
    // The main window, once it is visible and the process waits for input.
    bool WaitWindow(DWORD timeoutMs = 15000)
    {
        bool found = WaitFor(
            [](void* p) {
                auto* self = static_cast<Process*>(p);
                HWND h = FindWindowA(nullptr, self->caption);
                DWORD pid = 0;
                if (h) GetWindowThreadProcessId(h, &pid);
                if (!h || pid != self->pi.dwProcessId || !IsWindowVisible(h)) return false;
                self->main = h;
                return true;
            },
            this, timeoutMs);
        if (found) WaitForInputIdle(pi.hProcess, 5000);
        return found;
    }
    HWND Item(int id) const { return GetDlgItem(main, id); }
    bool Enabled(int id) const { return IsWindowEnabled(Item(id)) != FALSE; }
    std::string Log() const
    {
        HWND h = Item(kLog);
        std::string s(static_cast<size_t>(SendMessageA(h, WM_GETTEXTLENGTH, 0, 0)) + 1, '\0');
        s.resize(static_cast<size_t>(SendMessageA(h, WM_GETTEXT, s.size(), reinterpret_cast<LPARAM>(s.data()))));
        return s;
    }
    void Memory(const char* when) const
    {
        PROCESS_MEMORY_COUNTERS m{};
        m.cb = sizeof m;
        if (!GetProcessMemoryInfo(pi.hProcess, &m, sizeof m)) return;
        // The commit charge: private bytes (Wine leaves PrivateUsage at 0).
        Put((std::string("mem_private_kib_") + when).c_str(), static_cast<double>(m.PagefileUsage) / 1024.0);
        Put((std::string("mem_working_set_kib_") + when).c_str(), static_cast<double>(m.WorkingSetSize) / 1024.0);
    }
    bool WaitExit(DWORD timeoutMs = 15000) const { return WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0; }
    ~Process()
    {
        if (!pi.hProcess) return;
        if (WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(pi.hProcess, 99);
            WaitForSingleObject(pi.hProcess, 5000);
        }
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
};

// One journal line: its time stamp and its fields.
struct Line {
    double ms = 0;
    std::map<std::string, std::string> fields;
};

std::vector<Line> Journal(const char* fn)
{
    std::vector<Line> out;
    for (const std::string& text : testutil::JournalLines(fn)) {
        Line line;
        line.ms = std::atof(text.c_str());
        size_t p = text.find(' ', text.find(' ') + 1);
        while (p != std::string::npos && p < text.size()) {
            size_t eq = text.find('=', p);
            if (eq == std::string::npos) break;
            std::string key = text.substr(p + 1, eq - p - 1), value;
            size_t q = eq + 2;  // past ="
            while (q < text.size() && text[q] != '"') {
                if (text[q] == '\\' && q + 1 < text.size()) ++q;
                value += text[q++];
            }
            line.fields[key] = value;
            p = q + 1 < text.size() ? q + 1 : std::string::npos;
        }
        out.push_back(line);
    }
    return out;
}

void FreshPhonebook(int hangupLatencyMs)
{
    rassim::ResetAll();
    testutil::DeleteKey("Software\\Kelvane");
    rassim::Session s;
    s.state().hangupLatencyMs = hangupLatencyMs;
    for (const char* name : {"Demo Online", "Busy Line", "Wrong Password", "Connects", "Fails", "Hangs"}) {
        auto& e = testutil::AddEntry(s.state(), name, "5550100");
        e.user = "user";
        e.password = "secret";
        // The user said once that these need no stored password: Dial asks nothing.
        testutil::WriteValue(kPwdKey, name, REG_SZ, std::string("NULL", 5));
    }
    s.state().FindEntry("Fails")->scripts.push_back("fail:678@0");
    s.state().FindEntry("Hangs")->scripts.push_back("hang");
    s.Commit();
}

void DropConnections()
{
    rassim::Session s;
    s.state().conns.clear();
    s.Commit();
}

// The three programs take turns, so that a slow phase of the machine falls on
// all of them alike.
void StartUp(const std::string& pendro, const std::string& baseline, const std::string& baselineImports, int runs)
{
    FreshPhonebook(100);
    struct Program {
        const std::string& exe;
        const char* caption;
        const char* name;
    } programs[] = {{pendro, kCaption, "pendro"},
                    {baseline, BASELINE_CAPTION, "baseline"},
                    {baselineImports, BASELINE_CAPTION, "baseline_imports"}};
    for (int i = -1; i < runs; ++i) {  // the first round only warms Wine up
        for (const Program& program : programs) {
            Process p;
            double t0 = Qpc();
            if (!p.Start(program.exe, "", program.caption) || !p.WaitWindow()) {
                std::fprintf(stderr, "start-up run %d of %s failed\n", i, program.name);
                continue;
            }
            double t1 = Qpc();
            if (i >= 0) Put((std::string("startup_") + program.name + "_ms").c_str(), t1 - t0);
            PostMessageA(p.main, WM_CLOSE, 0, 0);
            if (p.WaitExit() && i >= 0) Put((std::string("close_") + program.name + "_ms").c_str(), Qpc() - t1);
        }
    }
}

void Detection(const std::string& pendro, int runs)
{
    FreshPhonebook(100);
    for (int i = 0; i < runs; ++i) {
        DropConnections();
        {
            // Connect at a different moment of the program's 100-ms tick each time.
            rassim::Session s;
            rassim::Entry* e = s.state().FindEntry("Connects");
            e->scripts.assign(1, "std@0 connected@" + std::to_string(40 + (i * 37) % 300));
            e->attemptsMade = 0;
            s.Commit();
        }
        Process p;
        if (!p.Start(pendro, "Connects", kCaption) || !p.WaitExit(20000)) {
            std::fprintf(stderr, "detection run %d did not end\n", i);
            continue;
        }
        double exited = NowMs();
        std::vector<Line> ends = Journal("AttemptEnd");
        if (ends.empty() || ends.back().fields["state"] != std::to_string(RASCS_Connected)) continue;
        Put("detect_ms", exited - ends.back().ms);
    }
}

bool RunOver(void* p)
{
    auto* proc = static_cast<Process*>(p);
    return proc->Enabled(kDial) && proc->Log().find("Maximum number of dial attempts reached.") != std::string::npos;
}

// What one replacement of the progress log's text costs, against the same text
// sent to the one-line prefix edit: the difference is the multi-line edit's own.
void EditCost(const Process& p)
{
    const char text[] = "Attempt 7 of 100\r\nPrevious error: The remote computer did not respond.\r\n"
                        "Opening port...\r\nThe remote computer did not respond.\r\n";
    const std::string prefix(64, '0');
    for (int id : {kLog, kPrefix}) {
        const char* value = id == kLog ? text : prefix.c_str();
        const int n = 50;
        double t0 = Qpc();
        for (int i = 0; i < n; ++i) {
            SendMessageA(p.Item(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
            SendMessageA(p.Item(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(value));
        }
        Put(id == kLog ? "settext_log_ms" : "settext_prefix_ms", (Qpc() - t0) / (2 * n));
        SendMessageA(p.Item(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
    }
}

// Attempts that fail at once, 100 in a row, on an entry that has connected
// before (so nothing asks), in one process; then ten more such runs.
void Attempts(const std::string& pendro)
{
    const int latency = 100;
    FreshPhonebook(latency);
    testutil::WriteValue(kKey, "DialEntryOK", REG_SZ, std::string("Fails", 6));
    testutil::WriteValue(kKey, "DefaultEntry", REG_SZ, std::string("Fails", 6));
    Process p;
    if (!p.Start(pendro, "", kCaption) || !p.WaitWindow()) return;
    Sleep(500);
    p.Memory("start");
    Put("hangup_latency_ms", latency);

    double cpu0 = testutil::UnixCpuMs("Pendro.exe");
    PostMessageA(p.Item(kDial), BM_CLICK, 0, 0);
    if (!WaitFor(RunOver, &p, 120000)) {
        std::fprintf(stderr, "the 100-attempt run did not end\n");
        return;
    }
    double over = NowMs();
    Put("attempt_cpu_ms", (testutil::UnixCpuMs("Pendro.exe") - cpu0) / 100.0);
    std::vector<Line> dials = Journal("RasDialA"), ends = Journal("AttemptEnd"), hangs = Journal("RasHangUpA");
    auto find = [](const std::vector<Line>& lines, const std::string& handle) -> const Line* {
        for (const Line& l : lines)
            if (l.fields.at("handle") == handle) return &l;
        return nullptr;
    };
    for (size_t k = 0; k < dials.size(); ++k) {
        const std::string& handle = dials[k].fields["handle"];
        const Line* end = find(ends, handle);
        const Line* hang = find(hangs, handle);
        if (!end || !hang) continue;
        double next = k + 1 < dials.size() ? dials[k + 1].ms : over;
        Put("attempt_wall_ms", next - dials[k].ms);
        Put("attempt_service_ms", end->ms - dials[k].ms);  // dial to failure: the service's own
        Put("attempt_tick_wait_ms", hang->ms - end->ms);   // failure to hang-up: waiting for the tick
        Put("attempt_hangup_ms", next - hang->ms);         // hang-up to the next dial
    }
    Put("attempts_total_ms", over - dials.front().ms);
    Put("attempts_counted", static_cast<double>(dials.size()));
    p.Memory("after_100_attempts");

    {
        rassim::Session s;
        // The further runs: the program's own cost without the hang-up wait, and memory.
        s.state().hangupLatencyMs = 0;
        // Faults that never fire count the service's calls.
        for (const char* fn : {"RasValidateEntryNameA", "RasEnumEntriesA", "RasGetEntryPropertiesA",
                               "RasGetEntryDialParamsA", "RasSetEntryDialParamsA", "RasSetCredentialsA",
                               "RasGetCredentialsA", "RasDialA", "RasHangUpA", "RasGetConnectStatusA",
                               "RasEnumConnectionsA"})
            s.state().faults[fn] = rassim::Fault{0, 0, 0, false};
        s.Commit();
    }
    double cpu1 = testutil::UnixCpuMs("Pendro.exe");
    for (int run = 0; run < 10; ++run) {
        PostMessageA(p.Item(kDial), BM_CLICK, 0, 0);
        WaitFor([](void* q) { return !static_cast<Process*>(q)->Enabled(kDial); }, &p, 5000);
        if (!WaitFor(RunOver, &p, 120000)) {
            std::fprintf(stderr, "run %d did not end\n", run);
            return;
        }
    }
    Put("attempt_cpu_no_hangup_wait_ms", (testutil::UnixCpuMs("Pendro.exe") - cpu1) / 1000.0);
    {
        rassim::Session s;
        int calls = 0;
        for (const auto& [fn, fault] : s.state().faults) calls += fault.calls;
        Put("attempt_service_calls", calls / 1000.0);
    }
    p.Memory("after_10_more_runs");
    EditCost(p);
    PostMessageA(p.main, WM_CLOSE, 0, 0);
    p.WaitExit();
}

void Idle(const std::string& pendro, DWORD seconds)
{
    FreshPhonebook(100);
    {
        Process p;
        if (!p.Start(pendro, "", kCaption) || !p.WaitWindow()) return;
        Sleep(1000);
        double c0 = testutil::UnixCpuMs("Pendro.exe");
        Sleep(seconds * 1000);
        Put("cpu_idle_ms", testutil::UnixCpuMs("Pendro.exe") - c0);
        PostMessageA(p.main, WM_CLOSE, 0, 0);
        p.WaitExit();
    }
    Process p;
    if (!p.Start(pendro, "Hangs", kCaption) || !p.WaitWindow()) return;
    WaitFor([](void* q) { return static_cast<Process*>(q)->Enabled(kCancel); }, &p, 5000);
    Sleep(500);
    double c0 = testutil::UnixCpuMs("Pendro.exe");
    Sleep(seconds * 1000);
    Put("cpu_dialing_ms", testutil::UnixCpuMs("Pendro.exe") - c0);
    PostMessageA(p.Item(kCancel), BM_CLICK, 0, 0);
    WaitFor([](void* q) { return static_cast<Process*>(q)->Enabled(kDial); }, &p, 5000);
    PostMessageA(p.main, WM_CLOSE, 0, 0);
    p.WaitExit();
}

// What one call of the simulated service costs its caller: every call takes
// the shared state from its file under a lock, which a real service does not.
void ServiceCall()
{
    char path[MAX_PATH];
    GetSystemDirectoryA(path, MAX_PATH);
    lstrcatA(path, "\\rasapi32.dll");
    HMODULE dll = LoadLibraryA(path);
    if (!dll) return;
    using Status = DWORD(WINAPI*)(HRASCONN, RASCONNSTATUS_V1*);
    auto status = reinterpret_cast<Status>(reinterpret_cast<void*>(GetProcAddress(dll, "RasGetConnectStatusA")));
    if (status) {
        FreshPhonebook(100);
        RASCONNSTATUS_V1 st{};
        auto cpu = [] {
            FILETIME c, e, k, u;
            GetProcessTimes(GetCurrentProcess(), &c, &e, &k, &u);
            return static_cast<double>((static_cast<ULONGLONG>(k.dwHighDateTime) << 32 | k.dwLowDateTime) +
                                       (static_cast<ULONGLONG>(u.dwHighDateTime) << 32 | u.dwLowDateTime)) /
                   10000.0;
        };
        double t0 = Qpc(), c0 = cpu();
        for (int i = 0; i < 500; ++i) {
            st.dwSize = sizeof st;
            status(reinterpret_cast<HRASCONN>(static_cast<uintptr_t>(12345)), &st);
        }
        Put("service_call_ms", (Qpc() - t0) / 500);
        Put("service_call_cpu_ms", (cpu() - c0) / 500);
    }
    FreeLibrary(dll);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 5) {
        std::fprintf(stderr, "usage: bench PENDRO.EXE BASELINE.EXE BASELINE_IMPORTS.EXE OUT [quick|startup]\n");
        return 2;
    }
    g_out = std::fopen(argv[4], "w");
    if (!g_out) return 1;
    std::string mode = argc > 5 ? argv[5] : "";
    bool quick = mode == "quick";  // a short pass that checks the bench itself works
    std::string pendro = argv[1], baseline = argv[2];
    ServiceCall();
    std::fprintf(stderr, "bench: start-up\n");
    StartUp(pendro, baseline, argv[3], quick ? 2 : 20);
    if (mode == "startup") {
        std::fclose(g_out);
        return 0;
    }
    std::fprintf(stderr, "bench: connection detection\n");
    Detection(pendro, quick ? 3 : 30);
    std::fprintf(stderr, "bench: idle and dialing CPU\n");
    Idle(pendro, quick ? 2 : 10);
    std::fprintf(stderr, "bench: attempts and memory\n");
    Attempts(pendro);
    std::fclose(g_out);
    return 0;
}
