// A clean slate for each end-to-end test: no settings, a fresh simulated
// phonebook, and no other instance of the program.
#pragma once
#include <gtest/gtest.h>
#include <shlobj.h>

#include <initializer_list>
#include <set>
#include <string>

#include "driver.h"
#include "unit/test_util.h"

namespace e2e {

constexpr int kDial = 1000, kEntry = 1002, kLog = 1003, kPrefix = 1004, kCancel = 1006, kClickHere = 1008,
              kPassword = 1013, kShortcut = 1015, kQuit = IDCANCEL;
constexpr char kKey[] = "Software\\Kelvane\\Pendro";
constexpr char kPwdKey[] = "Software\\Kelvane\\Pendro\\Pwd";

// The user's desktop folder, where the program puts its links.
inline std::string DesktopDir()
{
    char path[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, path);
    return path;
}

// Text of the source (UTF-8) in the ANSI code page the programs run under.
inline std::string Ansi(const char* utf8)
{
    wchar_t wide[1024];
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, 1024);
    char out[2048];
    return n > 0 && WideCharToMultiByte(CP_ACP, 0, wide, -1, out, sizeof out, nullptr, nullptr) > 0 ? out : utf8;
}

// Under a double-byte code page (the pass with LC_ALL=ja_JP.UTF-8, code page
// 932) every name a test gives goes through here and begins with characters
// whose second byte is a backslash (表, ソ) or a letter (フ, ト): what holds for
// the plain name must hold for it. Elsewhere the name stays as it is.
inline bool DoubleBytePass() { return GetACP() == 932; }
inline std::string N(const std::string& name)
{
    return DoubleBytePass() ? Ansi("表示ソフト") + name : name;
}

// A name and the same name in another letter case, by letters outside A to Z
// that the pass's code page holds (1252, 1251, 932): one name to the registry.
inline std::pair<std::string, std::string> CasePair()
{
    if (GetACP() == 1251) return {Ansi("Дальсвязь"), Ansi("дальсвязь")};
    if (DoubleBytePass()) return {Ansi("ＮＥＴ回線"), Ansi("ｎｅｔ回線")};
    return {Ansi("Übersee"), Ansi("übersee")};
}

class E2eTest : public testing::Test {
protected:
    void SetUp() override
    {
        CloseOtherInstances();
        testutil::DeleteKey("Software\\Kelvane");
        testutil::DeleteKey("RemoteAccess");
        SetWindowsVersion(nullptr);
        testutil::ResetSim();
        StartedPids().clear();
        ValidateHeap(true);
        m_heapLogStart = testutil::HeapLogSize();
    }
    // The program runs with its heap validated on every operation; whatever
    // Wine found wrong with it fails the test.
    void TearDown() override
    {
        CloseOtherInstances();
        std::string errors = testutil::HeapErrors(StartedPids(), m_heapLogStart);
        EXPECT_TRUE(errors.empty()) << "heap errors of the program:\n" << errors;
    }
    long long m_heapLogStart = 0;

    static void CloseOtherInstances()
    {
        while (HWND w = FindWindowA(nullptr, kCaption)) {
            DWORD pid = 0;
            GetWindowThreadProcessId(w, &pid);
            HANDLE p = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
            if (!p) break;
            TerminateProcess(p, 97);
            WaitForSingleObject(p, 5000);
            CloseHandle(p);
        }
    }
    // The version Wine reports to Pendro.exe; null for the prefix's default.
    static void SetWindowsVersion(const char* version)
    {
        for (const char* key : {"Software\\Wine\\AppDefaults\\Pendro.exe",
                                "Software\\Wine\\AppDefaults\\PendroUnvalidated.exe"}) {
            if (version) testutil::WriteValue(key, "Version", REG_SZ, std::string(version) + '\0');
            else testutil::DeleteKey(key);
        }
    }
    // Entries with a script each (the last repeats); "NULL" in the vault so that
    // Dial asks for no password.
    static void Entries(std::initializer_list<std::pair<const char*, const char*>> entries)
    {
        rassim::Session s;
        for (const auto& [name, script] : entries) {
            auto& e = testutil::AddEntry(s.state(), name, "5550100");
            e.deviceName = std::string("Modem of ") + name;
            e.user = "user";
            e.password = "secret";
            if (script) e.scripts.push_back(script);
            testutil::WriteValue(kPwdKey, name, REG_SZ, std::string("NULL", 5));
        }
        s.Commit();
    }
    static void Script(const char* entry, const char* script)
    {
        rassim::Session s;
        s.state().FindEntry(entry)->scripts.push_back(script);
        s.Commit();
    }
    static std::string Setting(const char* name)
    {
        auto v = testutil::ReadValue(kKey, name);
        return v.exists ? std::string(v.data.c_str()) : "<absent>";
    }
    static size_t Count(const std::string& fn) { return testutil::JournalLines(fn).size(); }
    static int VisibleMainWindows()
    {
        int n = 0;
        for (HWND w = nullptr; (w = FindWindowExA(nullptr, w, nullptr, kCaption));) n += IsWindowVisible(w) ? 1 : 0;
        return n;
    }
    // No run in progress: Cancel is off and every control it locked is back.
    // The program enables them one by one, so all are read, not just Dial.
    static bool Idle(Pendro& p)
    {
        if (p.Enabled(kCancel)) return false;
        for (int id : {kDial, kQuit, kPassword, kShortcut, kEntry, kPrefix})
            if (!p.Enabled(id)) return false;
        return true;
    }
    // The password dialog: a dialog of the program with the password edit.
    static MessageBoxInfo WaitPasswordDialog(Pendro& p)
    {
        MessageBoxInfo d;
        WaitFor([&] {
            d = p.WaitMessageBox(200);
            return d.hwnd && GetDlgItem(d.hwnd, 1004);
        });
        return d;
    }
};

}  // namespace e2e
