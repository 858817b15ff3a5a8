// Bad input and a faulty or missing service: the program keeps working, says
// what went wrong, and loses nothing of what it stores for other entries.
#include <functional>
#include <map>
#include <set>

#include "fixture.h"
#include "vault/password_store.h"

namespace e2e {
namespace {

constexpr WPARAM kConnected = 0x2000, kDisconnected = 0x2001;

class RobustnessTest : public E2eTest {
protected:
    // Every value the program keeps, for checking that a test changed none of
    // those it had no business with.
    static std::map<std::string, testutil::RegValue> Stored()
    {
        std::map<std::string, testutil::RegValue> all;
        for (const char* key : {kKey, kPwdKey})
            for (const std::string& name : testutil::ValueNames(key))
                all[std::string(key) + "\\" + name] = testutil::ReadValue(key, name.c_str());
        return all;
    }
    // Another entry's password and the list of entries that have connected:
    // what a fault must never cost.
    static void StoreOthers()
    {
        ASSERT_TRUE(SaveProviderPassword("Other", "other-secret", false));
        testutil::WriteValue(kKey, "DialEntryOK", REG_MULTI_SZ, testutil::Multi({"Other", "Elsewhere"}));
    }
    // The strings of a value; the store keeps a list's strings, not their order.
    static std::multiset<std::string> Strings(const std::string& data)
    {
        std::multiset<std::string> out;
        for (size_t p = 0; p < data.size();) {
            size_t e = data.find('\0', p);
            if (e == std::string::npos) e = data.size();
            if (e > p) out.insert(data.substr(p, e - p));
            p = e + 1;
        }
        return out;
    }
    static void ExpectOthersKept(const std::map<std::string, testutil::RegValue>& before)
    {
        auto after = Stored();
        for (const char* name : {"Software\\Kelvane\\Pendro\\Pwd\\Other", "Software\\Kelvane\\Pendro\\DialEntryOK"}) {
            ASSERT_TRUE(before.count(name)) << name;
            ASSERT_TRUE(after.count(name)) << name << " is gone";
            EXPECT_EQ(Strings(after[name].data), Strings(before.at(name).data)) << name;
        }
    }
    static bool Responsive(Pendro& p)
    {
        DWORD_PTR r = 0;
        return SendMessageTimeoutA(p.Window(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &r) != 0;
    }
    static void Fault(const char* fn, DWORD code, bool setHandle = false)
    {
        rassim::Session s;
        s.state().faults[fn] = rassim::Fault{code, 0, 0, setHandle};
        s.Commit();
    }
    static size_t Connections()
    {
        rassim::Session s;
        return s.state().conns.size();
    }
};

TEST_F(RobustnessTest, CommandLinesOfAnyShape)
{
    const char* odd = "Net \"50%s\" & more";  // as odd as a phone-book entry can be named
    Entries({{"Alpha", "hang"}, {odd, "hang"}, {"Spare", nullptr}});
    StoreOthers();
    auto before = Stored();
    std::string many;
    for (int i = 0; i < 10000; ++i) many += "x ";
    struct Case {
        const char* what;
        std::string args;
        const char* dialled;  // null: nothing is dialled
    } cases[] = {
        {"10,000 arguments", many, nullptr},
        {"one argument of 30,000 characters", std::string(30000, 'A'), nullptr},
        {"an unbalanced quote", "\"Alpha", "Alpha"},
        {"bytes invalid in the code page", "\x81\xff\xfe \x80", nullptr},
        {"quotes, an ampersand and %s in a name", "\"Net \\\"50%s\\\" & more\"", odd},
        {"an empty quoted argument", "\"\"", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testutil::ResetSim();
        Entries({{"Alpha", "hang"}, {odd, "hang"}, {"Spare", nullptr}});
        Pendro p(c.args);
        ASSERT_TRUE(p.Window());
        if (c.dialled) {
            ASSERT_TRUE(WaitFor([&] { return Count("RasDialA") == 1; }));
            EXPECT_NE(testutil::JournalLines("RasDialA")[0].find(rassim::Quote(c.dialled)), std::string::npos);
            EXPECT_EQ(p.SelectedEntry(), c.dialled);
            p.Click(kCancel);
            ASSERT_TRUE(WaitFor([&] { return Idle(p); }));
        } else {
            Sleep(300);
            EXPECT_EQ(Count("RasDialA"), 0u);
        }
        p.Click(kQuit);
        EXPECT_EQ(p.WaitExit(), 0u);
        ExpectOthersKept(before);
    }
}

TEST_F(RobustnessTest, DamagedSettingsAreReadSafely)
{
    Entries({{"Alpha", nullptr}, {"Beta", nullptr}, {"Spare", nullptr}});
    StoreOthers();
    struct Case {
        const char* what;
        const char* name;
        DWORD type;
        std::string data;
    } cases[] = {
        {"a number for the default entry", "DefaultEntry", REG_DWORD, std::string("\x01\x00\x00\x00", 4)},
        {"binary data for the prefix", "DialPrefix", REG_BINARY, std::string("\xff\x00\x31", 3)},
        {"a default entry of 64 KiB", "DefaultEntry", REG_SZ, std::string(65535, 'B') + '\0'},
        {"a prefix of 64 KiB", "DialPrefix", REG_SZ, std::string(65535, '9') + '\0'},
        {"a multi-string without terminators", "DefaultEntry", REG_MULTI_SZ, "Beta"},
        {"a string without its terminator", "DialPrefix", REG_SZ, "0190"},
        {"an expandable string", "DefaultEntry", REG_EXPAND_SZ, std::string("%PATH%\0", 7)},
        {"damaged hexadecimal text for this entry's password", "Pwd\\Beta", REG_SZ, std::string("4Fzz\0", 5)},
        {"binary data for this entry's password", "Pwd\\Alpha", REG_BINARY, std::string("\x00\x01\x02", 3)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string name = c.name;
        bool pwd = name.rfind("Pwd\\", 0) == 0;
        testutil::WriteValue(pwd ? kPwdKey : kKey, pwd ? name.c_str() + 4 : c.name, c.type, c.data);
        auto before = Stored();
        {
            Pendro p;
            ASSERT_TRUE(p.Window());
            EXPECT_TRUE(Responsive(p));
            EXPECT_EQ(SendMessageA(p.Item(kEntry), CB_GETCOUNT, 0, 0), 3);
            EXPECT_NE(SendMessageA(p.Item(kEntry), CB_GETCURSEL, 0, 0), CB_ERR);  // something is selected
            p.Click(kQuit);
            EXPECT_EQ(p.WaitExit(), 0u);
        }
        ExpectOthersKept(before);
        if (pwd) testutil::WriteValue(kPwdKey, name.c_str() + 4, REG_SZ, std::string("NULL", 5));
    }
}

// Gives everyone exactly these rights on a key of the current user, and the
// right to change them back.
bool Restrict(const char* path, DWORD rights)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, WRITE_DAC, &key) != ERROR_SUCCESS) return false;
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
    alignas(DWORD) BYTE buffer[256];
    auto* acl = reinterpret_cast<ACL*>(buffer);
    InitializeAcl(acl, sizeof buffer, ACL_REVISION);
    AddAccessAllowedAce(acl, ACL_REVISION, rights | WRITE_DAC | READ_CONTROL, everyone);
    SECURITY_DESCRIPTOR sd;
    InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE);
    LONG r = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd);
    FreeSid(everyone);
    RegCloseKey(key);
    return r == ERROR_SUCCESS;
}

TEST_F(RobustnessTest, SettingsKeyReadOnlyOrUnreadable)
{
    Entries({{"Alpha", nullptr}, {"Beta", nullptr}});
    StoreOthers();
    testutil::WriteValue(kKey, "DefaultEntry", REG_SZ, std::string("Beta", 5));
    testutil::WriteValue(kKey, "DialPrefix", REG_SZ, std::string("09", 3));
    struct Restore {
        ~Restore() { Restrict(kKey, KEY_ALL_ACCESS); }
    } restore;
    for (bool readable : {true, false}) {
        SCOPED_TRACE(readable ? "read-only" : "unreadable");
        auto before = Stored();
        ASSERT_TRUE(Restrict(kKey, readable ? KEY_READ : 0));
        HKEY probe;
        ASSERT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, readable ? KEY_SET_VALUE : KEY_READ, &probe),
                  ERROR_SUCCESS) << "the platform did not restrict the key";
        {
            Pendro p;
            ASSERT_TRUE(p.Window());
            // The store opens its key for reading and writing alike: without
            // both, the program starts as if it had no settings.
            EXPECT_EQ(p.SelectedEntry(), "Alpha");
            EXPECT_EQ(p.Text(kPrefix), "");
            p.Select("Alpha");
            p.Click(kQuit);
            EXPECT_EQ(p.WaitExit(), 0u);  // the failed save is silent
        }
        ASSERT_TRUE(Restrict(kKey, KEY_ALL_ACCESS));
        EXPECT_EQ(Setting("DefaultEntry"), "Beta");  // nothing was written
        EXPECT_EQ(Setting("DialPrefix"), "09");
        ExpectOthersKept(before);
    }
}

TEST_F(RobustnessTest, ListOfConnectedEntriesAsBinaryData)
{
    Entries({{"Alpha", "0@5 fail:678@5"}});
    testutil::WriteValue(kKey, "DialEntryOK", REG_BINARY, std::string("Alpha\0\0", 7));
    Pendro p;
    ASSERT_TRUE(p.Window());
    p.Click(kDial);
    MessageBoxInfo box = p.WaitMessageBox();  // not a list: Alpha counts as never connected
    ASSERT_TRUE(box.hwnd);
    EXPECT_NE(box.text.find("Redial?"), std::string::npos);
    p.Answer(box, IDNO);
    ASSERT_TRUE(WaitFor([&] { return Idle(p); }));
    EXPECT_EQ(Count("RasDialA"), 1u);
}

TEST_F(RobustnessTest, PhonebookExtremes)
{
    ValidateHeap(false);  // a thousand entries: validating the heap on every operation takes minutes
    {
        // No entries at all.
        Pendro p;
        ASSERT_TRUE(p.Window());
        EXPECT_EQ(SendMessageA(p.Item(kEntry), CB_GETCOUNT, 0, 0), 0);
        p.Click(kDial);
        Sleep(200);
        EXPECT_TRUE(Idle(p));
        EXPECT_EQ(Count("RasDialA"), 0u);
    }
    std::string n256(256, 'L');
    {
        rassim::Session s;
        for (int i = 0; i < 1000; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "Provider %04d", i);
            testutil::AddEntry(s.state(), name);
        }
        for (const std::string& name : {n256, std::string("Twin"), std::string("TWIN")}) {
            auto& e = testutil::AddEntry(s.state(), name);
            e.scripts.push_back("hang");
            testutil::WriteValue(kPwdKey, name.c_str(), REG_SZ, std::string("NULL", 5));
        }
        s.Commit();
    }
    // The registry does not tell value names apart by case, so the twins share
    // one stored password; without the vault, each dials as it is.
    SetWindowsVersion("nt40");
    {
        Pendro p("twin");  // names that differ only in case: one of them, as the list selects it
        ASSERT_TRUE(p.Window());
        EXPECT_EQ(SendMessageA(p.Item(kEntry), CB_GETCOUNT, 0, 0), 1003);
        ASSERT_TRUE(WaitFor([&] { return Count("RasDialA") == 1; }));
        std::string twin = p.SelectedEntry();
        EXPECT_TRUE(twin == "Twin" || twin == "TWIN") << twin;
        EXPECT_NE(testutil::JournalLines("RasDialA")[0].find("entry=\"" + twin + "\""), std::string::npos);
        p.Click(kCancel);
        ASSERT_TRUE(WaitFor([&] { return Idle(p); }));

        p.Select(n256);  // the longest name there is dials as it is
        EXPECT_EQ(p.SelectedEntry(), n256);
        p.Click(kDial);
        ASSERT_TRUE(WaitFor([&] { return Count("RasDialA") == 2; }));
        EXPECT_NE(testutil::JournalLines("RasDialA")[1].find("entry=\"" + n256 + "\""), std::string::npos);
        p.Click(kCancel);
        ASSERT_TRUE(WaitFor([&] { return Idle(p); }));

        // No entry is longer than 256 characters: a name of 300 given to a
        // second start names none, and nothing is dialled.
        EXPECT_EQ(RunToEnd("\"" + n256 + std::string(44, 'L') + "\""), 0u);
        Sleep(300);
        EXPECT_EQ(Count("RasDialA"), 2u);
        EXPECT_TRUE(Idle(p));

        // An entry deleted between start-up and Dial.
        {
            rassim::Session s;
            auto& entries = s.state().entries;
            entries.erase(entries.begin());  // "Provider 0000"
            s.Commit();
        }
        p.Select("Provider 0000");
        p.Click(kDial);
        ASSERT_TRUE(WaitFor([&] { return p.LogLines().size() >= 2; }));
        EXPECT_TRUE(WaitFor([&] { return Idle(p); }));
        EXPECT_EQ(p.LogLines()[1], "Cannot find the phone book entry.");
        EXPECT_EQ(Connections(), 0u);
        p.Click(kQuit);
        EXPECT_EQ(p.WaitExit(), 0u);
    }
    EXPECT_EQ(Setting("DefaultEntry"), "Provider 0000");

    // 10,000 arguments, each compared with a thousand names.
    std::string many;
    for (int i = 0; i < 10000; ++i) many += "x ";
    DWORD start = GetTickCount();
    Pendro p(many + "\"provider 0999\"");
    ASSERT_TRUE(p.Window());
    ASSERT_TRUE(WaitFor([&] { return Count("RasDialA") == 3; }));
    EXPECT_LT(GetTickCount() - start, 5000u);
    EXPECT_NE(testutil::JournalLines("RasDialA")[2].find("entry=\"Provider 0999\""), std::string::npos);
}

// Each function of the service failing with a code it is known to return: the
// attempt fails or does not start, the user learns why, nothing is left open.
TEST_F(RobustnessTest, EveryServiceFunctionFailing)
{
    struct Case {
        const char* fn;
        DWORD code;
        bool setHandle;
        size_t dials;      // attempts made
        const char* line;  // the log line that says why the run could not start
    } cases[] = {
        {"RasEnumEntriesA", ERROR_ACCESS_DENIED, false, 0, nullptr},
        {"RasValidateEntryNameA", 621, false, 0, "Cannot open the phone book file."},
        {"RasGetEntryPropertiesA", 621, false, 0, "Cannot open the phone book file."},
        {"RasGetEntryDialParamsA", 625, false, 0, "Invalid information found in the phone book file."},
        {"RasDialA", 633, false, 1, "The port is already in use or is not configured for Remote Access dial out."},
        {"RasDialA", 633, true, 1, "The port is already in use or is not configured for Remote Access dial out."},
        {"RasHangUpA", 6, false, 1, nullptr},
        {"RasGetConnectStatusA", 6, false, 1, nullptr},
        {"RasEnumConnectionsA", 603, false, 1, nullptr},
        {"RasSetEntryDialParamsA", ERROR_ACCESS_DENIED, false, 1, nullptr},
        {"RasSetCredentialsA", ERROR_ACCESS_DENIED, false, 1, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.fn) + (c.setHandle ? " with a handle" : ""));
        testutil::ResetSim();
        Entries({{"Alpha", "0@5 fail:678@5"}, {"Spare", nullptr}});
        StoreOthers();
        auto before = Stored();
        Fault(c.fn, c.code, c.setHandle);
        // A thousand growing connection buffers: too slow with the heap validated.
        ValidateHeap(std::string(c.fn) != "RasEnumConnectionsA");
        {
            Pendro p;
            ASSERT_TRUE(p.Window());
            if (std::string(c.fn) == "RasEnumEntriesA") {
                EXPECT_EQ(SendMessageA(p.Item(kEntry), CB_GETCOUNT, 0, 0), 0);
                p.Click(kQuit);
                EXPECT_EQ(p.WaitExit(), 0u);
                continue;
            }
            p.Select("Alpha");
            p.Click(kDial);
            if (std::string(c.fn) == "RasHangUpA") {
                // The failed attempt's connection stays: no redial on its port.
                EXPECT_TRUE(WaitFor([&] {
                    auto lines = p.LogLines();
                    return !lines.empty() &&
                           lines.back() == "The connection could not be hung up. Aborting automated redial process.";
                }));
            } else if (!c.line) {
                // Never connected before: the failure ends in the redial question.
                MessageBoxInfo box = p.WaitMessageBox();
                ASSERT_TRUE(box.hwnd);
                EXPECT_NE(box.text.find("Redial?"), std::string::npos);
                p.Answer(box, IDNO);
            } else {
                ASSERT_TRUE(WaitFor([&] { return p.LogLines().size() >= 2; }));
            }
            ASSERT_TRUE(WaitFor([&] { return Idle(p); }));
            EXPECT_TRUE(Responsive(p));
            EXPECT_EQ(Count("RasDialA"), c.dials);
            if (c.line) {
                auto lines = p.LogLines();
                ASSERT_GE(lines.size(), 2u);
                EXPECT_EQ(lines[1], c.line);
            }
            p.Click(kQuit);
            EXPECT_EQ(p.WaitExit(), 0u);
        }
        if (std::string(c.fn) != "RasHangUpA") {
            EXPECT_EQ(Connections(), 0u) << "a connection was left half-open";
        }
        ExpectOthersKept(before);
    }
}

TEST_F(RobustnessTest, NotificationsInFloodsAndAfterTheRun)
{
    ValidateHeap(false);  // ten thousand log lines: validating the heap on every operation takes minutes
    Entries({{"Alpha", "hang"}, {"Beta", nullptr}});
    Pendro p;
    ASSERT_TRUE(p.Window());
    p.Click(kDial);
    ASSERT_TRUE(WaitFor([&] { return p.Enabled(kCancel); }));
    // 10,000 notifications in one attempt, as fast as they can be posted.
    DWORD start = GetTickCount();
    for (int i = 0; i < 10000; ++i) p.Post(WM_APP, static_cast<WPARAM>(i % 9), 0);
    ASSERT_TRUE(WaitFor([&] { return p.LogLines().size() >= 10001; }, 60000));
    DWORD took = GetTickCount() - start;
    EXPECT_LT(took, 30000u) << "10,000 notifications took " << took << " ms";
    EXPECT_TRUE(Responsive(p));
    EXPECT_TRUE(p.Enabled(kCancel));  // states without an error do not end the attempt
    p.Click(kCancel);
    ASSERT_TRUE(WaitFor([&] { return Idle(p); }));

    // After Cancel: a late report of success, of a failure, and a dial request
    // for an entry that is not there. They add lines, and change nothing else,
    // not what the user chose since.
    p.Select("Beta");
    p.TypeInto(kPrefix, "7");
    p.Post(WM_APP, kConnected, 0);
    p.Post(WM_APP, kDisconnected, 678);
    p.Post(WM_APP + 1, 0xFFFFFFFF, 0);
    Sleep(500);
    EXPECT_TRUE(p.Running());
    EXPECT_TRUE(Idle(p));
    auto lines = p.LogLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 3], "Connected.");
    EXPECT_EQ(lines.back(), "There is no answer.");
    EXPECT_EQ(Count("RasDialA"), 1u);
    EXPECT_EQ(Setting("DialEntryOK"), "<absent>");
    EXPECT_EQ(p.SelectedEntry(), "Beta");
    EXPECT_EQ(p.Text(kPrefix), "7");

    p.Select("Alpha");
    Script("Alpha", "0@5 hang");  // the next run starts clean
    p.Click(kDial);
    ASSERT_TRUE(WaitFor([&] { return Count("RasDialA") == 2 && p.LogLines().size() >= 2; }));
    EXPECT_EQ(p.LogLines()[0], "Dial attempt 1/100:");
    EXPECT_TRUE(WaitFor([&] { return p.LogLines().size() == 2; }));
    EXPECT_EQ(p.LogLines()[1], "Open port...");
}

TEST_F(RobustnessTest, VanishedConnection)
{
    Entries({{"Alpha", "0@5 hang"}});
    Pendro p;
    ASSERT_TRUE(p.Window());
    p.Click(kDial);
    ASSERT_TRUE(WaitFor([&] { return Connections() == 1 && p.LogLines().size() >= 2; }));
    {
        rassim::Session s;  // the connection is gone without a word from the service
        s.state().conns.clear();
        s.Commit();
    }
    Sleep(500);
    EXPECT_TRUE(p.Enabled(kCancel));  // no news: the attempt waits for its timeout
    EXPECT_TRUE(Responsive(p));
    DWORD start = GetTickCount();
    p.Click(kCancel);
    ASSERT_TRUE(WaitFor([&] { return Idle(p); }));
    EXPECT_LT(GetTickCount() - start, 2000u);
    Script("Alpha", "0@5 hang");
    p.Click(kDial);
    ASSERT_TRUE(WaitFor([&] { return Count("RasDialA") == 2 && Connections() == 1; }));
}

TEST_F(RobustnessTest, PlantedLibrariesAreNeverLoaded)
{
    Entries({{"Alpha", "hang"}});
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string app = std::string(temp) + "pendro-planted\\app\\", cwd = std::string(temp) + "pendro-planted\\cwd\\";
    for (const std::string& dir : {std::string(temp) + "pendro-planted", app, cwd}) CreateDirectoryA(dir.c_str(), nullptr);
    DeleteFileA("C:\\planted-dll-loaded.txt");
    ASSERT_TRUE(CopyFileA(PendroPath().c_str(), (app + "Pendro.exe").c_str(), FALSE));
    std::string planted = testutil::WinPath(PLANTED_DLL);
    for (const char* name : {"rasapi32.dll", "rsaenh.dll", "uxtheme.dll", "version.dll", "msimg32.dll", "winmm.dll"})
        for (const std::string& dir : {app, cwd}) ASSERT_TRUE(CopyFileA(planted.c_str(), (dir + name).c_str(), FALSE));

    ASSERT_TRUE(SaveProviderPassword("Alpha", "pw", false));  // Dial decrypts it: CryptoAPI loads its provider
    Pendro p(app + "Pendro.exe", "", cwd.c_str());
    ASSERT_TRUE(p.Window());
    EXPECT_EQ(SendMessageA(p.Item(kEntry), CB_GETCOUNT, 0, 0), 1);  // the system's service answered
    p.Click(kDial);
    ASSERT_TRUE(WaitFor([&] { return Count("RasDialA") == 1; }));
    p.Click(kCancel);
    ASSERT_TRUE(WaitFor([&] { return Idle(p); }));
    p.Click(kQuit);
    EXPECT_EQ(p.WaitExit(), 0u);
    EXPECT_EQ(GetFileAttributesA("C:\\planted-dll-loaded.txt"), INVALID_FILE_ATTRIBUTES)
        << "a planted library was loaded";
}

// Walks every value below a key of the current user.
void ForEachValue(HKEY root, const std::string& path, const std::function<void(const std::string&, const std::string&)>& f)
{
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    char name[16384];
    std::string data(1 << 20, '\0');
    for (DWORD i = 0;; ++i) {
        DWORD nameLen = sizeof name, dataLen = static_cast<DWORD>(data.size()), type;
        LONG r = RegEnumValueA(key, i, name, &nameLen, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &dataLen);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r == ERROR_SUCCESS) f(path + "\\" + name, data.substr(0, dataLen));
    }
    for (DWORD i = 0;; ++i) {
        DWORD nameLen = sizeof name;
        if (RegEnumKeyExA(key, i, name, &nameLen, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        ForEachValue(root, path.empty() ? name : path + "\\" + name, f);
    }
    RegCloseKey(key);
}

TEST_F(RobustnessTest, NoPasswordInClearTextAndNothingOutsideTheUser)
{
    const std::string secret = "Zq7-clear-text-check";
    Entries({{"Alpha", "0@5 fail:678@5"}});
    testutil::DeleteKey(kPwdKey);
    {
        Pendro p;
        ASSERT_TRUE(p.Window());
        p.Select("Alpha");
        p.Click(kDial);  // no stored password: the dialog asks for it
        MessageBoxInfo dlg = WaitPasswordDialog(p);
        ASSERT_TRUE(dlg.hwnd && GetDlgItem(dlg.hwnd, 1004));
        SendMessageA(GetDlgItem(dlg.hwnd, 1004), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(secret.c_str()));
        PostMessageA(GetDlgItem(dlg.hwnd, IDOK), BM_CLICK, 0, 0);
        ASSERT_TRUE(WaitFor([&] { return !IsWindow(dlg.hwnd); }));
        MessageBoxInfo box = p.WaitMessageBox();  // the failed attempt asks before redialing
        ASSERT_TRUE(box.hwnd);
        EXPECT_EQ(box.text.find(secret), std::string::npos);
        p.Answer(box, IDNO);
        ASSERT_TRUE(WaitFor([&] { return Idle(p); }));
        EXPECT_EQ(p.Log().find(secret), std::string::npos);
        p.Click(kQuit);
        EXPECT_EQ(p.WaitExit(), 0u);
    }
    ASSERT_NE(testutil::ReadValue(kPwdKey, "Alpha").data.size(), 0u);
    std::wstring wide(secret.begin(), secret.end());
    std::string wideBytes(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
    int values = 0;
    ForEachValue(HKEY_CURRENT_USER, "", [&](const std::string& where, const std::string& data) {
        ++values;
        EXPECT_EQ(data.find(secret), std::string::npos) << where;
        EXPECT_EQ(data.find(wideBytes), std::string::npos) << where;
    });
    EXPECT_GT(values, 100);  // the walk saw the whole of the user's registry
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_USERS}) {
        HKEY key;
        EXPECT_NE(RegOpenKeyExA(root, "Software\\Kelvane", 0, KEY_READ, &key), ERROR_SUCCESS);
    }
}

using MissingServiceTest = E2eTest;

TEST_F(MissingServiceTest, WithoutRasapi32TheProgramGoesOn)
{
    char sys[MAX_PATH];
    GetSystemDirectoryA(sys, MAX_PATH);
    std::string dll = std::string(sys) + "\\rasapi32.dll", moved = dll + ".away";
    ASSERT_TRUE(MoveFileExA(dll.c_str(), moved.c_str(), MOVEFILE_REPLACE_EXISTING));
    struct PutBack {  // whatever the test's outcome, later tests need the service
        std::string from, to;
        ~PutBack() { MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING); }
    } putBack{moved, dll};
    {
        Pendro p("Alpha");
        ASSERT_TRUE(p.Window());
        EXPECT_EQ(SendMessageA(p.Item(kEntry), CB_GETCOUNT, 0, 0), 0);
        p.Click(kDial);  // no entry selected: the press only clears the log
        Sleep(300);
        EXPECT_TRUE(p.Enabled(kDial));
        EXPECT_TRUE(p.Log().empty());
        p.Click(kClickHere);  // the connection search fails: treated as not connected
        MessageBoxInfo box = p.WaitMessageBox();
        ASSERT_TRUE(box.hwnd);
        p.Answer(box, IDOK);
        p.Click(kQuit);
        EXPECT_EQ(p.WaitExit(), 0u);
    }
    EXPECT_EQ(Setting("DefaultEntry"), "<absent>");  // no list to choose from: no choice stored
}

}  // namespace
}  // namespace e2e
