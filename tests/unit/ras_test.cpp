// The program's remote-access layer against the simulated service.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <sstream>
#include <string>

#include "ras/ras_api.h"
#include "ras/ras_dialer.h"
#include "ras/ras_texts.h"
#include "test_util.h"

namespace {

void WINAPI Ignore(UINT, RASCONNSTATE, DWORD) {}

class RasLayerTest : public testing::Test {
protected:
    void SetUp() override
    {
        testutil::ResetSim();
        rassim::Session s;
        auto& a = testutil::AddEntry(s.state(), "Alpha", "5551234");
        a.user = "ann";
        a.password = "pw";
        a.domain = "dom";
        a.scripts.push_back("hang");  // dials stay in progress unless a test says otherwise
        testutil::AddEntry(s.state(), "Beta", "222", "isdn").scripts.push_back("hang");
        s.Commit();
    }
    static std::string LastDialNumber()
    {
        auto lines = testutil::JournalLines("RasDialA");
        if (lines.empty()) return "<none>";
        size_t p = lines.back().find("number=\"") + 8;
        return lines.back().substr(p, lines.back().find('"', p) - p);
    }
    static int Calls(const char* fn)
    {
        rassim::Session s;
        return s.state().faults[fn].calls;
    }
    static void CountCalls(const char* fn)  // a fault that never fires, for its call counter
    {
        rassim::Session s;
        s.state().faults[fn] = rassim::Fault{1, 1000000, 0, false};
        s.Commit();
    }
    static uint32_t AddConn(const std::string& entry, const std::string& type, DWORD state)
    {
        rassim::Session s;
        uint32_t h =
            testutil::AddConnection(s.state(), entry, type, "Device " + std::to_string(s.state().nextHandle), state);
        s.Commit();
        return h;
    }
    static HRASCONN H(uint32_t h) { return reinterpret_cast<HRASCONN>(static_cast<uintptr_t>(h)); }
};

TEST_F(RasLayerTest, EntryNamesAreCutForTheFieldButValidatedWhole)
{
    std::string name256(256, 'n'), name300 = name256 + std::string(44, 'x');
    {
        rassim::Session s;
        testutil::AddEntry(s.state(), name256).user = "long";
        s.Commit();
    }
    CRasDialer d;
    CString user;
    EXPECT_TRUE(d.GetEntryUserName(name256.c_str(), user, nullptr));
    EXPECT_STREQ(user, "long");
    EXPECT_FALSE(d.GetEntryUserName(name300.c_str(), user, nullptr));
    EXPECT_EQ(d.GetLastRasError(), static_cast<DWORD>(ERROR_INVALID_NAME));  // the whole name was validated
    // Without an existence test the parameters land under the first 256 bytes.
    ASSERT_TRUE(d.GetDialParams(name256.c_str(), nullptr));
    EXPECT_TRUE(d.SetDialParams(name300.c_str(), nullptr));
    auto lines = testutil::JournalLines("RasSetEntryDialParamsA");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("entry=\"" + name256 + "\""), std::string::npos);

    EXPECT_FALSE(d.GetEntryProperties("Nobody", nullptr));
    EXPECT_EQ(d.GetLastRasError(), kRasErrorCannotFindEntry);  // a valid name of no entry: not "error 0"
    EXPECT_FALSE(d.GetEntryProperties("", nullptr));
}

TEST_F(RasLayerTest, NumberIsPrefixThenLocalNumberAtMost128Bytes)
{
    HRASCONN h = nullptr;
    CRasDialer d;
    CString zero("0");
    ASSERT_TRUE(d.Dial("Alpha", &h, Ignore, &zero, nullptr));
    EXPECT_EQ(LastDialNumber(), "05551234");
    HangUpConnection(h);
    ASSERT_TRUE(d.Dial("Alpha", &h, Ignore, nullptr, nullptr));
    EXPECT_EQ(LastDialNumber(), "5551234");
    HangUpConnection(h);
    CString longPrefix(std::string(130, '9').c_str());
    ASSERT_TRUE(d.Dial("Alpha", &h, Ignore, &longPrefix, nullptr));
    EXPECT_EQ(LastDialNumber(), std::string(128, '9'));
    HangUpConnection(h);
    CString prefix125(std::string(125, '8').c_str());
    ASSERT_TRUE(d.Dial("Alpha", &h, Ignore, &prefix125, nullptr));
    EXPECT_EQ(LastDialNumber(), std::string(125, '8') + "555");
    HangUpConnection(h);

    // Only a telephone line gets the prefix, and never before a network code.
    int i = 0;
    for (const char* line : {"ISDN 5550100 05550100", "vpn vpn.example.com vpn.example.com",
                             "PPPoE ISP-Service ISP-Service", "modem *99# *99#", "Modem #777 #777", "serial 1 1"}) {
        SCOPED_TRACE(line);
        std::istringstream row(line);
        std::string type, number, dialled;
        row >> type >> number >> dialled;
        const std::string name = "Line " + std::to_string(++i);
        {
            rassim::Session s;
            testutil::AddEntry(s.state(), name, number, type);
            s.Commit();
        }
        ASSERT_TRUE(d.Dial(name.c_str(), &h, Ignore, &zero, nullptr));
        EXPECT_EQ(LastDialNumber(), dialled);
        HangUpConnection(h);
    }
}

TEST_F(RasLayerTest, PropertiesBeyondTheFirstLayout)
{
    {
        rassim::Session s;
        s.state().FindEntry("Alpha")->alternates = 8;   // 1768 + 241 bytes: fits 2024
        s.state().FindEntry("Beta")->alternates = 10;   // 1768 + 301 bytes: does not
        s.Commit();
    }
    CRasDialer d;
    EXPECT_TRUE(d.GetEntryProperties("Alpha", nullptr));
    EXPECT_STREQ(d.Entry().szLocalPhoneNumber, "5551234");
    EXPECT_FALSE(d.GetEntryProperties("Beta", nullptr));
    EXPECT_EQ(d.GetLastRasError(), kRasErrorBufferTooSmall);
    HRASCONN h = nullptr;
    EXPECT_FALSE(d.Dial("Beta", &h, Ignore, nullptr, nullptr));
    EXPECT_TRUE(testutil::JournalLines("RasDialA").empty());
}

TEST_F(RasLayerTest, PhonebookEnumerationGrowsInOneStep)
{
    {
        rassim::Session s;
        for (int i = 0; i < 60; ++i) testutil::AddEntry(s.state(), "Provider " + std::to_string(i));
        s.Commit();
    }
    CountCalls("RasEnumEntriesA");
    CNameList names;
    ASSERT_TRUE(EnumPhonebookEntries(names, nullptr));
    EXPECT_EQ(names.GetCount(), 62);
    EXPECT_STREQ(names.GetAt(61), "Provider 59");
    EXPECT_EQ(Calls("RasEnumEntriesA"), 2);

    testutil::ResetSim();
    CountCalls("RasEnumEntriesA");
    names.Add("stale");
    ASSERT_TRUE(EnumPhonebookEntries(names, nullptr));  // an empty phonebook
    EXPECT_EQ(names.GetCount(), 0);
    EXPECT_EQ(Calls("RasEnumEntriesA"), 2);  // the second call is made in every case
    {
        rassim::Session s;
        s.state().faults["RasEnumEntriesA"] = rassim::Fault{621, 0, 0, false};
        s.Commit();
    }
    names.Add("stale");
    EXPECT_FALSE(EnumPhonebookEntries(names, nullptr));
    EXPECT_EQ(names.GetCount(), 0);
}

void* (__cdecl* g_realMalloc)(size_t);
size_t g_failSize;
void* __cdecl MallocFailsOnce(size_t n)
{
    if (n == g_failSize) {
        g_failSize = 0;
        return nullptr;
    }
    return g_realMalloc(n);
}

TEST_F(RasLayerTest, EnumerationThatFailsPartWayLeavesNoList)
{
    const std::string middle(40, 'm');  // its copy is the one allocation of 41 bytes
    {
        rassim::Session s;
        testutil::AddEntry(s.state(), middle);
        testutil::AddEntry(s.state(), "Last");
        s.Commit();
    }
    CNameList names;
    names.Add("stale");
    {
        g_failSize = middle.size() + 1;
        testutil::ImportHook hook("msvcrt.dll", "malloc", &MallocFailsOnce, &g_realMalloc);
        ASSERT_TRUE(hook.Installed());
        EXPECT_FALSE(EnumPhonebookEntries(names, nullptr));
    }
    EXPECT_EQ(g_failSize, 0u);  // the fault did fire
    EXPECT_EQ(names.GetCount(), 0);
    EXPECT_TRUE(EnumPhonebookEntries(names, nullptr));
    EXPECT_EQ(names.GetCount(), 4);
}

TEST_F(RasLayerTest, ManyConnectionsAndThePreferenceForConnected)
{
    for (int i = 0; i < 40; ++i) AddConn("Other " + std::to_string(i), "modem", RASCS_AuthNotify);
    uint32_t wanted = AddConn("Gamma", "ISDN", RASCS_Connected);
    CountCalls("RasEnumConnectionsA");
    CRasDialer d;
    ASSERT_TRUE(d.EnumConnections());
    EXPECT_EQ(d.ConnectionCount(), 41u);
    EXPECT_EQ(Calls("RasEnumConnectionsA"), 3);  // 16, 32, then 48 elements
    ASSERT_TRUE(d.FindConnection("gamma", "isdn"));  // case is ignored
    EXPECT_EQ(d.FoundConnection(), H(wanted));
    EXPECT_FALSE(d.FindConnection("Gamma", "modem"));
    HRASCONN active = nullptr;
    ASSERT_TRUE(d.FindActiveConnection(&active));
    EXPECT_EQ(active, H(wanted));  // listed last, but connected

    rassim::ResetAll();
    active = H(99);
    EXPECT_FALSE(d.FindActiveConnection(&active));
    EXPECT_EQ(active, nullptr);
    uint32_t dialling = AddConn("Alpha", "modem", RASCS_PortOpened);
    ASSERT_TRUE(d.FindActiveConnection(&active));
    EXPECT_EQ(active, H(dialling));
    EXPECT_TRUE(IsConnecting(&active));
    EXPECT_FALSE(IsConnected(&active));
    CString device;
    EXPECT_TRUE(GetConnectionDeviceName(&active, device));
    EXPECT_STREQ(device, ("Device " + std::to_string(dialling)).c_str());
    HRASCONN gone = H(12345);
    EXPECT_FALSE(GetConnectionDeviceName(&gone, device));
    EXPECT_TRUE(device.IsEmpty());
    EXPECT_FALSE(IsConnecting(&gone));
}

// A service that asks for a larger buffer on every call must not keep the
// window frozen: the enumeration gives up past any real number of connections.
TEST_F(RasLayerTest, EnumerationThatNeverFitsGivesUp)
{
    for (DWORD code : {kRasErrorBufferTooSmall, static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY)}) {
        {
            rassim::Session s;
            s.state().faults["RasEnumConnectionsA"] = rassim::Fault{code, 0, 0, false};
            s.Commit();
        }
        CRasDialer d;
        DWORD start = GetTickCount();
        EXPECT_FALSE(d.EnumConnections());
        EXPECT_EQ(d.ConnectionCount(), 0u);
        EXPECT_EQ(Calls("RasEnumConnectionsA"), 64);  // 16 elements more each time, up to 1,024
        EXPECT_LT(GetTickCount() - start, 5000u);
        HRASCONN h = H(7);
        EXPECT_FALSE(d.FindActiveConnection(&h));
        EXPECT_EQ(h, H(7));  // a failed enumeration leaves the handle as it was
    }
}

TEST_F(RasLayerTest, LeftoverConnectionOfSameEntryAndDeviceTypeIsHungUpFirst)
{
    // The service holds the entry's port until the leftover is released: the
    // dial succeeds only because the hang-up waited for that.
    {
        rassim::Session s;
        s.state().hangupLatencyMs = 300;
        s.Commit();
    }
    uint32_t same = AddConn("alpha", "MODEM", RASCS_Connected);
    uint32_t elsewhere = AddConn("Beta", "isdn", RASCS_Connected);
    HRASCONN h = nullptr;
    CRasDialer d;
    ASSERT_TRUE(d.Dial("Alpha", &h, Ignore, nullptr, nullptr)) << d.GetLastRasError();
    auto hangups = testutil::JournalLines("RasHangUpA");
    ASSERT_EQ(hangups.size(), 1u);
    EXPECT_NE(hangups[0].find("handle=\"" + std::to_string(same) + "\""), std::string::npos);
    HRASCONN kept = H(elsewhere);
    EXPECT_TRUE(IsConnected(&kept));
    HangUpConnection(h);

    // One of the same entry over another device type is left alone, and the
    // service then refuses the dial: the entry is in use.
    uint32_t otherType = AddConn("Alpha", "isdn", RASCS_Connected);
    EXPECT_FALSE(d.Dial("Alpha", &h, Ignore, nullptr, nullptr));
    EXPECT_EQ(d.GetLastRasError(), 756u);
    HRASCONN left = H(otherType);
    EXPECT_TRUE(IsConnected(&left));
    EXPECT_EQ(testutil::JournalLines("RasHangUpA").size(), 2u);  // only the dial's own
}

TEST_F(RasLayerTest, RefusedDialLeavesNoHalfOpenConnection)
{
    {
        rassim::Session s;
        s.state().faults["RasDialA"] = rassim::Fault{633, 0, 0, true};  // fails, but hands out a handle
        s.Commit();
    }
    HRASCONN h = nullptr;
    CRasDialer d;
    EXPECT_FALSE(d.Dial("Alpha", &h, Ignore, nullptr, nullptr));
    EXPECT_EQ(d.GetLastRasError(), 633u);
    EXPECT_NE(h, nullptr);  // keeps the handle value
    EXPECT_EQ(testutil::JournalLines("RasHangUpA").size(), 1u);
    EXPECT_FALSE(IsConnecting(&h));
    EXPECT_FALSE(d.Dial("Nobody", &h, Ignore, nullptr, nullptr));
}

TEST_F(RasLayerTest, HangUpWaitsOrFailsAtOnce)
{
    {
        rassim::Session s;
        s.state().hangupLatencyMs = 300;
        s.Commit();
    }
    uint32_t c = AddConn("Alpha", "modem", RASCS_Connected);
    DWORD start = GetTickCount();
    EXPECT_TRUE(HangUpConnection(H(c)));
    EXPECT_GE(GetTickCount() - start, 250u);  // returned only once the connection was gone
    HRASCONN h = H(c);
    EXPECT_FALSE(IsConnected(&h));
    uint32_t refused = AddConn("Alpha", "modem", RASCS_Connected);
    {
        rassim::Session s;
        s.state().faults["RasHangUpA"] = rassim::Fault{668, 0, 0, false};
        s.Commit();
    }
    start = GetTickCount();
    EXPECT_FALSE(HangUpConnection(H(refused)));
    EXPECT_LT(GetTickCount() - start, 250u);
}

TEST_F(RasLayerTest, CredentialsOnWindows2000AndLater)
{
    ASSERT_TRUE(IsWindows2000OrLater());
    CRasDialer d;
    EXPECT_TRUE(d.SetEntryPassword("Alpha", "newpw", nullptr));
    EXPECT_TRUE(d.SetEntryUserName("Alpha", "newuser", nullptr));
    EXPECT_TRUE(d.SetEntryPassword("Alpha", "", nullptr));
    auto lines = testutil::JournalLines("RasSetCredentialsA");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[0].find("mask=\"0x2\" password=\"newpw\""), std::string::npos);
    EXPECT_EQ(lines[0].find("user="), std::string::npos);
    EXPECT_NE(lines[1].find("mask=\"0x1\" user=\"newuser\""), std::string::npos);
    EXPECT_NE(lines[2].find("password=\"\""), std::string::npos);
    EXPECT_TRUE(testutil::JournalLines("RasSetEntryDialParamsA").empty());
    CString user, password;
    EXPECT_TRUE(d.GetEntryUserName("Alpha", user, nullptr));
    EXPECT_TRUE(d.GetEntryPassword("Alpha", password, nullptr));
    EXPECT_STREQ(user, "newuser");
    EXPECT_STRNE(password, "newpw");  // this system hands out a stand-in, never the password
    rassim::Session s;
    EXPECT_EQ(s.state().FindEntry("Alpha")->password, "");
    EXPECT_TRUE(s.state().FindEntry("Alpha")->passwordSaved);
    EXPECT_EQ(s.state().FindEntry("Alpha")->domain, "dom");
    CString keep("unchanged");
    EXPECT_FALSE(d.GetEntryPassword("Nobody", keep, nullptr));
    EXPECT_STREQ(keep, "unchanged");
}

// The same calls on a system before Windows 2000 rewrite the whole dial
// parameters. Wine reports another version only to a process started so: the
// test starts a copy of itself under another name with its own version.
TEST_F(RasLayerTest, CredentialsBeforeWindows2000)
{
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string copy = std::string(self) + ".nt40.exe";
    ASSERT_TRUE(CopyFileA(self, copy.c_str(), FALSE));
    std::string base = copy.substr(copy.find_last_of('\\') + 1);
    std::string key = "Software\\Wine\\AppDefaults\\" + base;
    testutil::WriteValue(key.c_str(), "Version", REG_SZ, std::string("nt40", 5));
    std::string out;
    DWORD code = testutil::Run("\"" + copy + "\" --gtest_filter=Nt40Child.* --gtest_also_run_disabled_tests", &out);
    testutil::DeleteKey(key.c_str());
    DeleteFileA(copy.c_str());
    EXPECT_EQ(code, 0u) << out;
    EXPECT_NE(out.find("[  PASSED  ] 1 test"), std::string::npos) << out;
}

TEST(Nt40Child, DISABLED_DialParamsRoute)
{
    OSVERSIONINFOA v{};
    v.dwOSVersionInfoSize = sizeof v;
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    ASSERT_TRUE(GetVersionExA(&v));
    ASSERT_EQ(v.dwMajorVersion, 4u);
    ASSERT_FALSE(IsWindows2000OrLater());
    testutil::ResetSim();
    const std::string secret = "Pa55-w0rd-9";
    {
        rassim::Session s;
        auto& a = testutil::AddEntry(s.state(), "Alpha");
        a.user = "ann";
        a.password = secret;
        a.domain = "dom";
        s.Commit();
    }
    {
        // This system hands out the password itself: the dial context must
        // not keep it beyond the call that wants it, nor after its end.
        alignas(CRasDialer) unsigned char room[sizeof(CRasDialer)];
        auto holds = [&] { return std::string(reinterpret_cast<char*>(room), sizeof room).find(secret) != std::string::npos; };
        auto* probe = new (room) CRasDialer;
        CString user;
        ASSERT_TRUE(probe->GetEntryUserName("Alpha", user, nullptr));
        EXPECT_STREQ(user, "ann");
        EXPECT_FALSE(holds());
        ASSERT_TRUE(probe->GetDialParams("Alpha", nullptr));
        EXPECT_TRUE(holds());  // the search can see it
        probe->~CRasDialer();
        EXPECT_FALSE(holds());
    }
    CRasDialer d;
    EXPECT_TRUE(d.SetEntryPassword("Alpha", "newpw", nullptr));
    EXPECT_TRUE(d.SetEntryUserName("Alpha", "bob", nullptr));
    auto lines = testutil::JournalLines("RasSetEntryDialParamsA");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("user=\"ann\" password=\"newpw\" domain=\"dom\" remove_password=\"0\""), std::string::npos)
        << lines[0];
    EXPECT_NE(lines[1].find("user=\"bob\" password=\"newpw\" domain=\"dom\""), std::string::npos);
    EXPECT_TRUE(testutil::JournalLines("RasSetCredentialsA").empty());

    // This system's service hands out the password itself, and sets it even
    // with an empty user name; a leading period is a valid name here.
    RASDIALPARAMS_V1 p{};
    p.dwSize = sizeof p;
    lstrcpyA(p.szEntryName, "Alpha");
    BOOL saved = FALSE;
    ASSERT_EQ(ras::GetEntryDialParams(nullptr, &p, &saved), 0u);
    EXPECT_STREQ(p.szPassword, "newpw");
    EXPECT_TRUE(saved);
    p.szUserName[0] = 0;
    lstrcpyA(p.szPassword, "nt4pw");
    EXPECT_EQ(ras::SetEntryDialParams(nullptr, &p, FALSE), 0u);
    {
        rassim::Session s;
        EXPECT_EQ(s.state().FindEntry("Alpha")->password, "nt4pw");
        EXPECT_EQ(s.state().FindEntry("Alpha")->user, "bob");
    }
    EXPECT_EQ(ras::ValidateEntryName(nullptr, ".dot"), 0u);
    RASCREDENTIALS_V1 c{};
    c.dwSize = sizeof c;
    c.dwMask = RASCM_Password;
    EXPECT_EQ(ras::SetCredentials(nullptr, "Alpha", &c, FALSE), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
}

TEST(RasTextsTest, StatesAndErrors)
{
    const char* lc = std::getenv("LC_ALL");
    bool german = lc && std::string(lc).rfind("de_", 0) == 0;
    EXPECT_STREQ(ConnStateText(0), german ? "\xD6" "ffne Anschluss..." : "Open port...");
    EXPECT_STREQ(ConnStateText(23), german ? "Untereintrag getrennt." : "Subentry disconnected.");
    EXPECT_STREQ(ConnStateText(6), german ? "Anmeldungsnachricht." : "Authentication notification.");
    EXPECT_STREQ(ConnStateText(0x2000), german ? "Verbunden." : "Connected.");
    EXPECT_STREQ(ConnStateText(24), german ? "Unbekannter Verbindungszustand. (24)" : "Unknown connection state. (24)");
    EXPECT_STREQ(ConnStateText(0x1004),
                 german ? "Unbekannter Verbindungszustand. (4100)" : "Unknown connection state. (4100)");
    EXPECT_STREQ(ConnStateText(0xFFFFFFFF), german ? "Unbekannter Verbindungszustand. (-1)" : "Unknown connection state. (-1)");
    EXPECT_STREQ(RasErrorText(676), "The line is busy.");  // the service's own text
    EXPECT_STREQ(RasErrorText(0x1234), german ? "Unbekannter RAS-Fehler. (0x00001234)" : "Unknown RAS error. (0x00001234)");
}

}  // namespace
