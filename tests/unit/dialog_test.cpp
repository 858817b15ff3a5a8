// The main window inside the test process, where a call it makes to the
// system can be made to fail and its allocations can be counted.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "app/command_line.h"
#include "resource.h"
#include "test_util.h"
#include "ui/dialer_dlg.h"
#include "vault/password_store.h"

namespace {

const char kKey[] = "Software\\Kelvane\\Pendro";
const char kPwdKey[] = "Software\\Kelvane\\Pendro\\Pwd";

// Messages until done() or the time is up; allocates nothing itself.
template <class Done>
void PumpUntil(Done done, DWORD ms)
{
    DWORD start = GetTickCount();
    while (!done() && GetTickCount() - start < ms) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(2);
    }
}

HWND OpenDialog(CDialerCommandLineInfo* info)
{
    auto* dlg = new CDialerDlg(info, nullptr);
    if (!dlg || !dlg->Create(IDD_PENDRO_DIALOG, nullptr)) return nullptr;
    return dlg->m_hWnd;
}

class MainWindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        testutil::DeleteKey("Software\\Kelvane");
        testutil::ResetSim();
        rassim::Session s;
        testutil::AddEntry(s.state(), "Alpha", "5551234").scripts.push_back("hang");
        s.Commit();
        testutil::WriteValue(kPwdKey, "Alpha", REG_SZ, std::string("NULL", 5));
    }
    void TearDown() override
    {
        if (IsWindow(m_hwnd)) DestroyWindow(m_hwnd);  // deletes the object
        PumpUntil([] { return false; }, 50);
        testutil::DeleteKey("Software\\Kelvane");
    }
    std::string Log()
    {
        char text[4096] = "";
        GetDlgItemTextA(m_hwnd, IDC_LOG, text, sizeof text);
        return text;
    }
    CDialerCommandLineInfo m_cmdInfo;
    HWND m_hwnd = nullptr;
};

decltype(&SetTimer) realSetTimer;
UINT_PTR WINAPI NoTimer(HWND, UINT_PTR, UINT, TIMERPROC) { return 0; }

// Without its timer an attempt would never be seen to connect or fail: the
// run ends at once, the connection is hung up, and Dial can be pressed again.
TEST_F(MainWindowTest, AttemptWithoutItsTimerEndsTheRun)
{
    m_hwnd = OpenDialog(&m_cmdInfo);
    ASSERT_TRUE(m_hwnd);
    {
        testutil::ImportHook hook("user32.dll", "SetTimer", &NoTimer, &realSetTimer);
        ASSERT_TRUE(hook.Installed());
        SendMessageA(GetDlgItem(m_hwnd, IDC_DIAL), BM_CLICK, 0, 0);
    }
    EXPECT_EQ(testutil::JournalLines("RasDialA").size(), 1u);
    EXPECT_EQ(testutil::JournalLines("RasHangUpA").size(), 1u);
    std::string log = Log();
    EXPECT_NE(log.find("Error during connection process!\r\n"), std::string::npos) << log;
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(m_hwnd, IDC_DIAL)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(m_hwnd, IDC_CANCEL_DIAL)));
    // The run is over: the window closes on request and saves.
    SendMessageA(m_hwnd, WM_COMMAND, IDCANCEL, 0);
    EXPECT_FALSE(IsWindow(m_hwnd));
    EXPECT_EQ(testutil::ReadValue(kKey, "DefaultEntry").data, std::string("Alpha", 6));
}

// Moved to a monitor of another DPI (Wine has one DPI for all, so the message
// is sent as the system would): the window takes the rectangle it is given,
// its icons are made at that DPI's sizes, and the panel's bitmap is drawn
// scaled, at twice the distance from the corner.
TEST_F(MainWindowTest, MonitorOfAnotherDpiRescalesIconsAndBitmap)
{
    m_hwnd = OpenDialog(&m_cmdInfo);
    ASSERT_TRUE(m_hwnd);
    auto iconWidth = [&](WPARAM which) {
        ICONINFO info{};
        BITMAP bm{};
        HICON icon = reinterpret_cast<HICON>(SendMessageA(m_hwnd, WM_GETICON, which, 0));
        if (!icon || !GetIconInfo(icon, &info)) return 0;
        GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bm, &bm);
        if (info.hbmColor) DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        return static_cast<int>(bm.bmWidth);
    };
    EXPECT_EQ(iconWidth(ICON_SMALL), GetSystemMetrics(SM_CXSMICON));
    RECT to = {40, 30, 40 + 800, 30 + 1000};
    SendMessageA(m_hwnd, WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&to));
    RECT now;
    GetWindowRect(m_hwnd, &now);
    EXPECT_TRUE(EqualRect(&now, &to));
    EXPECT_EQ(iconWidth(ICON_BIG), MetricForDpi(SM_CXICON, 192));
    EXPECT_EQ(iconWidth(ICON_SMALL), MetricForDpi(SM_CXSMICON, 192));
    RedrawWindow(m_hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    PumpUntil([] { return false; }, 200);
    HDC dc = GetDC(m_hwnd);
    COLORREF bar = GetPixel(dc, 2 * (16 + 38), 2 * (16 + 8));  // a green bar's top, doubled: above the button
    ReleaseDC(m_hwnd, dc);
    EXPECT_EQ(bar, RGB(0, 128, 0));
}

}  // namespace

// ---- the allocation sweep -----------------------------------------------------
// Each operation that writes stored data runs in a child process of this test
// executable, with the n-th allocation failing (msvcrt's malloc, realloc and
// calloc through the executable's imports; operator new is the program's own,
// on malloc), for n = 1, 2, ... until the operation completes without reaching
// it. After every run each stored value is what it was before or what the
// operation, run without a failure, writes; the child ended normally or with
// exit code 8; and a password the Password button did not store was reported.
// Its twin ends the process before the n-th registry change the program makes
// (advapi32's RegSetValueExA, RegDeleteValueA, RegCreateKeyExA), or fails that
// call, and then also starts the window again.
namespace sweep {

enum Kind { kAllocation, kKill, kRegistryFailure };
const char* const kKindNames[] = {"allocation", "registry change (killed before it)", "registry change (failing)"};
constexpr DWORD kKilled = 0x4B111;
Kind g_kind = kAllocation;
LONG g_count = 0, g_failAt = 0;
bool g_armed = false;
decltype(&malloc) realMalloc;
decltype(&realloc) realRealloc;
decltype(&calloc) realCalloc;

bool FailThis()
{
    if (!g_armed) return false;
    return ++g_count == g_failAt;
}
void* __cdecl Malloc(size_t n) { return FailThis() ? nullptr : realMalloc(n); }
void* __cdecl Realloc(void* p, size_t n) { return FailThis() ? nullptr : realRealloc(p, n); }
void* __cdecl Calloc(size_t c, size_t n) { return FailThis() ? nullptr : realCalloc(c, n); }

decltype(&RegSetValueExA) realSetValue;
decltype(&RegDeleteValueA) realDeleteValue;
decltype(&RegCreateKeyExA) realCreateKey;
bool StopHere()
{
    if (!FailThis()) return false;
    if (g_kind == kKill) TerminateProcess(GetCurrentProcess(), kKilled);
    return true;
}
LONG WINAPI SetValue(HKEY k, LPCSTR n, DWORD r, DWORD t, const BYTE* d, DWORD c)
{
    return StopHere() ? ERROR_NOT_ENOUGH_QUOTA : realSetValue(k, n, r, t, d, c);
}
LONG WINAPI DeleteValue(HKEY k, LPCSTR n) { return StopHere() ? ERROR_NOT_ENOUGH_QUOTA : realDeleteValue(k, n); }
LONG WINAPI CreateKey(HKEY k, LPCSTR sub, DWORD r, LPSTR cls, DWORD o, REGSAM a, LPSECURITY_ATTRIBUTES sa, PHKEY out,
                      LPDWORD d)
{
    return StopHere() ? ERROR_NOT_ENOUGH_QUOTA : realCreateKey(k, sub, r, cls, o, a, sa, out, d);
}

// Answers the program's dialogs from a second thread while the operation runs
// on this one: the password dialog gets a password and OK (or Cancel), a
// message box Yes or OK, and is counted. Plain Win32 only: nothing it does allocates
// through the hooked functions.
struct Answerer {
    HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HWND main = nullptr;
    DWORD uiThread = GetCurrentThreadId();
    LONG boxes = 0;
    HANDLE thread = nullptr;

    static BOOL CALLBACK FindDialog(HWND h, LPARAM p)
    {
        auto* self = reinterpret_cast<std::pair<Answerer*, HWND>*>(p);
        char cls[16];
        if (h == self->first->main || !IsWindowVisible(h) || !GetClassNameA(h, cls, sizeof cls) ||
            lstrcmpA(cls, "#32770") != 0)
            return TRUE;
        self->second = h;
        return FALSE;
    }
    static DWORD WINAPI Run(void* p)
    {
        auto* self = static_cast<Answerer*>(p);
        HWND handled = nullptr;
        while (WaitForSingleObject(self->stop, 10) == WAIT_TIMEOUT) {
            std::pair<Answerer*, HWND> found{self, nullptr};
            EnumThreadWindows(self->uiThread, FindDialog, reinterpret_cast<LPARAM>(&found));
            if (!found.second || found.second == handled) continue;
            handled = found.second;
            HWND edit = GetDlgItem(handled, 1004);
            if (edit && self->password) SetWindowTextA(edit, self->password);
            if (!edit) InterlockedIncrement(&self->boxes);
            HWND button = edit && !self->password ? GetDlgItem(handled, IDCANCEL)
                          : GetDlgItem(handled, IDYES) ? GetDlgItem(handled, IDYES)
                                                       : GetDlgItem(handled, IDOK);
            PostMessageA(button, BM_CLICK, 0, 0);
        }
        return 0;
    }
    // The password to give the password dialog; none: it is cancelled, as by
    // a user asked again for a password the vault holds.
    const char* password = nullptr;
    void Start(HWND mainWindow, const char* pw = nullptr)
    {
        main = mainWindow;
        password = pw;
        thread = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    }
    ~Answerer()
    {
        SetEvent(stop);
        if (thread) WaitForSingleObject(thread, 5000), CloseHandle(thread);
        CloseHandle(stop);
    }
};

void Select(HWND dlg, const char* entry)
{
    HWND combo = GetDlgItem(dlg, IDC_ENTRY);
    SendMessageA(combo, CB_SETCURSEL, SendMessageA(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                                   reinterpret_cast<LPARAM>(entry)), 0);
}

bool LogHas(HWND dlg, const char* text)
{
    char log[4096] = "";
    GetDlgItemTextA(dlg, IDC_LOG, log, sizeof log);
    return std::strstr(log, text) != nullptr;
}

// Every value below the program's key, by "subkey\name".
using Values = std::map<std::string, testutil::RegValue>;
Values Stored()
{
    Values all;
    for (const char* key : {kKey, kPwdKey})
        for (const std::string& name : testutil::ValueNames(key))
            all[std::string(key) + "\\" + name] = testutil::ReadValue(key, name.c_str());
    return all;
}

// Equal, a multi-string's strings taken in any order: each load and save of
// the store reverses them.
bool Same(const testutil::RegValue& a, const testutil::RegValue& b)
{
    if (a.type != REG_MULTI_SZ || b.type != REG_MULTI_SZ) return a == b;
    auto split = [](const std::string& data) {
        std::vector<std::string> out;
        for (size_t p = 0, end; p < data.size() && data[p]; p = end + 1) {
            end = data.find('\0', p);
            if (end == std::string::npos) end = data.size();
            out.push_back(data.substr(p, end - p));
        }
        std::sort(out.begin(), out.end());
        return out;
    };
    return split(a.data) == split(b.data);
}

struct Outcome {
    DWORD exitCode = 0;
    bool reached = true;  // the failing allocation was asked for
    LONG allocations = 0, boxes = 0;
};

struct Op {
    const char* name;
    bool stores;        // writes the registry; the restore writes the phonebook entry only
    void (*prepare)();  // the stored data and the service before the run
    // In the child: runs the operation; what it allocates while armed counts.
    void (*run)(CDialerCommandLineInfo* info, Answerer& answers);
    // What else must hold after a run, beside every value being whole.
    void (*check)(const Outcome& o, Values& now, Values& after);
};

void Arm() { g_armed = true; }
void Disarm() { g_armed = false; }

// Opens the window with the entry selected, then arms and presses the button.
HWND OpenAndPress(CDialerCommandLineInfo* info, Answerer& answers, const char* entry, int button,
                  const char* password = nullptr)
{
    HWND dlg = OpenDialog(info);
    Select(dlg, entry);
    answers.Start(dlg, password);
    Arm();
    SendMessageA(GetDlgItem(dlg, button), BM_CLICK, 0, 0);
    return dlg;
}

void CommonState(const char* alphaScript, const char* betaScript)
{
    testutil::DeleteKey("Software\\Kelvane");
    testutil::ResetSim();
    rassim::Session s;
    for (auto [name, script] : {std::pair{"Alpha", alphaScript}, {"Beta", betaScript}}) {
        auto& e = testutil::AddEntry(s.state(), name, "5551234");
        e.user = "user";
        e.password = "right";
        e.passwordSaved = true;
        e.scripts.push_back(script);
    }
    s.Commit();
    testutil::WriteValue(kKey, "DefaultEntry", REG_SZ, std::string("Alpha", 6));
    testutil::WriteValue(kKey, "DialPrefix", REG_SZ, std::string("09", 3));
    testutil::WriteValue(kKey, "DialEntryOK", REG_MULTI_SZ, testutil::Multi({"Alpha", "Gamma"}));
}

void StorePasswords(const char* alpha, const char* beta)
{
    ASSERT_TRUE(SaveProviderPassword("Alpha", alpha, false));
    ASSERT_TRUE(beta ? SaveProviderPassword("Beta", beta, false) : SaveProviderPassword("Beta", "", true));
}

const Op kOps[] = {
    {"password button, then Quit", true,
     [] {
         CommonState("hang", "hang");
         StorePasswords("old-pw", "other");
     },
     [](CDialerCommandLineInfo* info, Answerer& answers) {
         HWND dlg = OpenAndPress(info, answers, "Alpha", IDC_PASSWORD, "new-pw");
         SendMessageA(dlg, WM_COMMAND, IDCANCEL, 0);
         Disarm();
     },
     [](const Outcome& o, Values& now, Values& after) {
         // A password the button did not store is reported as not saved.
         const std::string alpha = std::string(kPwdKey) + "\\Alpha";
         bool stored = now.count(alpha) && now[alpha] == after[alpha];
         EXPECT_TRUE(stored || o.exitCode != 0 || o.boxes > 0) << "not stored, and nothing said";
     }},
    {"restore after a failed attempt", false,
     [] {
         CommonState("std@5 fail:678@5", "hang");
         {
             rassim::Session s;
             s.state().deletePasswordOnFailure = true;
             s.state().FindEntry("Alpha")->scripts.push_back("0@5 hang");
             s.Commit();
         }
         StorePasswords("right", "other");
     },
     [](CDialerCommandLineInfo* info, Answerer& answers) {
         HWND dlg = OpenAndPress(info, answers, "Alpha", IDC_DIAL);
         PumpUntil([&] { return LogHas(dlg, "2/100") || IsWindowEnabled(GetDlgItem(dlg, IDC_DIAL)); }, 10000);
         Disarm();
         DestroyWindow(dlg);
     },
     [](const Outcome&, Values&, Values&) {
         // Never an empty password written back into the entry, nor a redial
         // without one: a password that could not be restored ends the run.
         for (const std::string& line : testutil::JournalLines("RasSetCredentialsA"))
             EXPECT_EQ(line.find("password=\"\""), std::string::npos) << line;
         for (const std::string& line : testutil::JournalLines("RasDialA"))
             EXPECT_EQ(line.find("password=\"\" placeholder=\"0\""), std::string::npos) << line;
         rassim::Session s;
         const auto* alpha = s.state().FindEntry("Alpha");
         EXPECT_TRUE(!alpha->passwordSaved || alpha->password == "right") << alpha->password;
     }},
    {"settings saved with DialEntryOK growing", true,
     [] {
         CommonState("hang", "std@5 connected@5");
         StorePasswords("right", nullptr);
     },
     [](CDialerCommandLineInfo* info, Answerer& answers) {
         HWND dlg = OpenAndPress(info, answers, "Beta", IDC_DIAL);
         PumpUntil([&] { return !IsWindow(dlg) || IsWindowEnabled(GetDlgItem(dlg, IDC_DIAL)); }, 10000);
         Disarm();
     },
     nullptr},
    {"start-up, then Quit", true,
     [] {
         CommonState("hang", "hang");
         StorePasswords("right", "other");
     },
     [](CDialerCommandLineInfo* info, Answerer& answers) {
         Arm();
         HWND dlg = OpenDialog(info);
         if (dlg) {
             answers.Start(dlg);
             SendMessageA(dlg, WM_COMMAND, IDCANCEL, 0);
         }
         Disarm();
     },
     nullptr},
};

Outcome RunChild(Kind kind, int op, LONG failAt)
{
    char report[MAX_PATH];
    GetTempPathA(MAX_PATH, report);
    lstrcatA(report, "pendro-sweep.txt");
    DeleteFileA(report);
    SetEnvironmentVariableA("PENDRO_SWEEP_KIND", std::to_string(kind).c_str());
    SetEnvironmentVariableA("PENDRO_SWEEP_OP", std::to_string(op).c_str());
    SetEnvironmentVariableA("PENDRO_SWEEP_FAIL", std::to_string(failAt).c_str());
    SetEnvironmentVariableA("PENDRO_SWEEP_REPORT", report);
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    Outcome out;
    out.exitCode = testutil::Run(std::string("\"") + self +
                                     "\" --gtest_filter=AllocationSweep.DISABLED_Child --gtest_also_run_disabled_tests",
                                 nullptr, 60000);
    if (FILE* f = std::fopen(report, "r")) {
        int reached = 1;
        if (std::fscanf(f, "%d %ld %ld", &reached, &out.allocations, &out.boxes) == 3) out.reached = reached != 0;
        std::fclose(f);
    }
    return out;
}

TEST(AllocationSweep, DISABLED_Child)
{
    const char* op = std::getenv("PENDRO_SWEEP_OP");
    const char* fail = std::getenv("PENDRO_SWEEP_FAIL");
    const char* report = std::getenv("PENDRO_SWEEP_REPORT");
    const char* kind = std::getenv("PENDRO_SWEEP_KIND");
    ASSERT_TRUE(op && fail && report && kind);
    g_kind = static_cast<Kind>(std::atoi(kind));
    // A crash ends the child at once with its code, instead of in Wine's debugger.
    SetUnhandledExceptionFilter([](EXCEPTION_POINTERS* e) WINAPI -> LONG {
        TerminateProcess(GetCurrentProcess(), e->ExceptionRecord->ExceptionCode);
        return EXCEPTION_EXECUTE_HANDLER;
    });
    CDialerCommandLineInfo info;
    Answerer answers;
    g_failAt = std::atol(fail);
    {
        // Only this kind's hooks: an empty name installs nothing.
        bool alloc = g_kind == kAllocation;
        testutil::ImportHook m("msvcrt.dll", alloc ? "malloc" : "", &Malloc, &realMalloc);
        testutil::ImportHook r("msvcrt.dll", alloc ? "realloc" : "", &Realloc, &realRealloc);
        testutil::ImportHook c("msvcrt.dll", alloc ? "calloc" : "", &Calloc, &realCalloc);
        testutil::ImportHook s("advapi32.dll", alloc ? "" : "RegSetValueExA", &SetValue, &realSetValue);
        testutil::ImportHook d("advapi32.dll", alloc ? "" : "RegDeleteValueA", &DeleteValue, &realDeleteValue);
        testutil::ImportHook k("advapi32.dll", alloc ? "" : "RegCreateKeyExA", &CreateKey, &realCreateKey);
        ASSERT_TRUE(alloc ? m.Installed() : s.Installed() && d.Installed() && k.Installed());
        kOps[std::atoi(op)].run(&info, answers);
    }
    if (FILE* f = std::fopen(report, "w")) {
        std::fprintf(f, "%d %ld %ld\n", g_failAt && g_count >= g_failAt ? 1 : 0, g_count, answers.boxes);
        std::fclose(f);
    }
}

void Sweep(Kind kind)
{
    for (int op = 0; op < static_cast<int>(std::size(kOps)); ++op) {
        if (const char* only = std::getenv("PENDRO_SWEEP_ONLY"); only && std::atoi(only) != op) continue;
        SCOPED_TRACE(kOps[op].name);
        kOps[op].prepare();
        auto before = Stored();
        Outcome reference = RunChild(kind, op, 0);
        ASSERT_EQ(reference.exitCode, 0u);
        ASSERT_FALSE(reference.reached);
        auto after = Stored();
        if (kOps[op].stores) {
            ASSERT_NE(before, after) << "the operation stores nothing";
        } else {
            ASSERT_EQ(testutil::JournalLines("RasDialA").size(), 2u) << "no redial";
            ASSERT_EQ(testutil::JournalLines("RasSetCredentialsA").size(), 2u) << "nothing restored";
        }
        DWORD start = GetTickCount();
        LONG n = 1;
        const char* at = std::getenv("PENDRO_SWEEP_AT");  // one point only, for a closer look
        if (at) n = std::atol(at);
        for (;; ++n) {
            SCOPED_TRACE(std::string(kKindNames[kind]) + " " + std::to_string(n));
            kOps[op].prepare();
            Outcome o = RunChild(kind, op, n);
            if (kind == kKill) o.reached = o.exitCode == kKilled;
            EXPECT_TRUE(o.exitCode == 0 || (kind == kAllocation && o.exitCode == ERROR_NOT_ENOUGH_MEMORY) ||
                        (kind == kKill && o.reached))
                << "exit code " << o.exitCode;
            auto now = Stored();
            for (const auto& [name, value] : now) {
                bool was = before.count(name) && Same(before[name], value);
                bool willBe = after.count(name) && Same(after[name], value);
                EXPECT_TRUE(was || willBe) << name << " = \"" << value.data.c_str() << "\"";
            }
            for (const auto& [name, value] : before)
                EXPECT_TRUE(now.count(name) || !after.count(name)) << name << " is gone";
            if (kOps[op].check) kOps[op].check(o, now, after);
            if (kind != kAllocation) {
                // What is left starts the window again, with every entry listed.
                CDialerCommandLineInfo info;
                HWND again = OpenDialog(&info);
                EXPECT_EQ(again ? SendDlgItemMessageA(again, IDC_ENTRY, CB_GETCOUNT, 0, 0) : 0, 2) << "restarted";
                if (again) DestroyWindow(again);
            }
            if (at || (o.exitCode == 0 && !o.reached)) break;
            if (testing::Test::HasFatalFailure() || n > 2000) break;
        }
        std::printf("[ SWEEP    ] %s, %s: %ld injection points, %lu ms\n", kKindNames[kind], kOps[op].name, n - 1,
                    GetTickCount() - start);
        std::fflush(stdout);
    }
    testutil::DeleteKey("Software\\Kelvane");
}

TEST(AllocationSweep, EveryFailedAllocationLosesNothing) { Sweep(kAllocation); }

TEST(AllocationSweep, EveryRegistryChangeKilledOrFailedLosesNothing)
{
    Sweep(kKill);
    Sweep(kRegistryFailure);
}

}  // namespace sweep
