// The simulated service keeps the real service's contracts: the tests of the
// program can only be as true as it is.
#include <gtest/gtest.h>

#include <shlwapi.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "ras/ras_api.h"
#include "test_util.h"

namespace {

struct Notification {
    DWORD state, error, thread;
};
// The notifier runs on the service's threads.
struct Lock {
    Lock() { EnterCriticalSection(&cs); }
    ~Lock() { LeaveCriticalSection(&cs); }
    static CRITICAL_SECTION cs;
};
CRITICAL_SECTION Lock::cs;
const bool g_lockReady = (InitializeCriticalSection(&Lock::cs), true);
std::vector<Notification> g_notes;
HANDLE g_finished;

void WINAPI Collect(UINT, RASCONNSTATE state, DWORD error)
{
    Lock l;
    g_notes.push_back({state, error, GetCurrentThreadId()});
    if (error || state == RASCS_Connected || state == RASCS_Disconnected) SetEvent(g_finished);
}

class RassimTest : public testing::Test {
protected:
    void SetUp() override
    {
        testutil::ResetSim();
        rassim::Session s;
        auto& e = testutil::AddEntry(s.state(), "Alpha", "111");
        e.user = "ann";
        e.password = "pw";
        e.domain = "dom";
        testutil::AddEntry(s.state(), "Beta", "222", "isdn").deviceName = "ISDN card";
        testutil::AddEntry(s.state(), "Gamma", "333");
        s.Commit();
        g_notes.clear();
        g_finished = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
    void TearDown() override { CloseHandle(g_finished); }
    static void Script(const char* entry, const char* script)
    {
        rassim::Session s;
        s.state().FindEntry(entry)->scripts.push_back(script);
        s.Commit();
    }
    static HRASCONN DialAndWait(const char* entry, const char* number = "")
    {
        RASDIALPARAMS_V1 p{};
        p.dwSize = sizeof p;
        lstrcpyA(p.szEntryName, entry);
        lstrcpyA(p.szPhoneNumber, number);
        lstrcpyA(p.szUserName, "dialler");
        lstrcpyA(p.szPassword, "secret");
        HRASCONN h = nullptr;
        EXPECT_EQ(ras::Dial(nullptr, &p, Collect, &h), 0u);
        EXPECT_EQ(WaitForSingleObject(g_finished, 10000), WAIT_OBJECT_0);
        return h;
    }
    static std::string SavedPassword(const char* entry)
    {
        rassim::Session s;
        return s.state().FindEntry(entry)->password;
    }
    static void AddConns(int n)
    {
        rassim::Session s;
        for (int i = 0; i < n; ++i)
            testutil::AddConnection(s.state(), "Other " + std::to_string(i), "", "Device " + std::to_string(i),
                                    RASCS_Connected);
        s.Commit();
    }
    // The release that follows a hang-up, after which the device is free.
    static bool WaitUntilReleased(HRASCONN h)
    {
        for (int i = 0; i < 200; ++i) {
            DWORD r;
            Status(h, &r);
            if (r == ERROR_INVALID_HANDLE) return true;
            Sleep(10);
        }
        return false;
    }
    static RASCONNSTATUS_V1 Status(HRASCONN h, DWORD* result)
    {
        RASCONNSTATUS_V1 st{};
        st.dwSize = sizeof st;
        *result = ras::GetConnectStatus(h, &st);
        return st;
    }
};

// Only the first published sizes of this architecture: a later layout that
// the service would fill in full is refused, not half filled.
TEST_F(RassimTest, StructureSizesAreChecked)
{
    const DWORD conn = sizeof(void*) == 4 ? 412 : 416;
    struct Row {
        const char* call;
        DWORD size;
        DWORD expected;
    };
    for (Row r : {Row{"RasEnumEntriesA", 264, 0}, Row{"RasEnumEntriesA", 100, 632}, Row{"RasEnumEntriesA", 532, 632},
                  Row{"RasGetEntryDialParamsA", 1052, 0}, Row{"RasGetEntryDialParamsA", 1060, 632},
                  Row{"RasGetEntryDialParamsA", 1000, 632}, Row{"RasGetConnectStatusA", 160, 6},
                  Row{"RasGetConnectStatusA", 288, 632}, Row{"RasGetConnectStatusA", 12, 632},
                  Row{"RasEnumConnectionsA", conn, 0}, Row{"RasEnumConnectionsA", 676, 632},
                  Row{"RasEnumConnectionsA", 692, 632}, Row{"RasEnumConnectionsA", 704, 632},
                  Row{"RasEnumConnectionsA", 7, 632}, Row{"RasSetCredentialsA", 540, 0},
                  Row{"RasSetCredentialsA", 539, 632}, Row{"RasGetEntryPropertiesA", 1768, 0},
                  Row{"RasGetEntryPropertiesA", 2088, 632}, Row{"RasDialA", 1060, 632}}) {
        SCOPED_TRACE(std::string(r.call) + " " + std::to_string(r.size));
        std::vector<BYTE> buf(8192);
        *reinterpret_cast<DWORD*>(buf.data()) = r.size;
        DWORD size = static_cast<DWORD>(buf.size()), count = 0, dev = 0;
        BOOL flag = FALSE;
        HRASCONN h = nullptr;
        std::string name = r.call;
        DWORD got = 1;
        if (name == "RasEnumEntriesA") got = ras::EnumEntries(nullptr, reinterpret_cast<RASENTRYNAME_V1*>(buf.data()), &size, &count);
        if (name == "RasGetEntryDialParamsA") {
            lstrcpyA(reinterpret_cast<RASDIALPARAMS_V1*>(buf.data())->szEntryName, "Alpha");
            got = ras::GetEntryDialParams(nullptr, reinterpret_cast<RASDIALPARAMS_V1*>(buf.data()), &flag);
        }
        if (name == "RasGetConnectStatusA") got = ras::GetConnectStatus(reinterpret_cast<HRASCONN>(99), reinterpret_cast<RASCONNSTATUS_V1*>(buf.data()));
        if (name == "RasEnumConnectionsA") got = ras::EnumConnections(reinterpret_cast<RASCONN_V1*>(buf.data()), &size, &count);
        if (name == "RasSetCredentialsA") got = ras::SetCredentials(nullptr, "Alpha", reinterpret_cast<RASCREDENTIALS_V1*>(buf.data()), FALSE);
        if (name == "RasGetEntryPropertiesA") {
            size = 1768;
            got = ras::GetEntryProperties(nullptr, "Alpha", reinterpret_cast<RASENTRY_V1*>(buf.data()), &size, nullptr, &dev);
        }
        if (name == "RasDialA") {
            lstrcpyA(reinterpret_cast<RASDIALPARAMS_V1*>(buf.data())->szEntryName, "Alpha");
            got = ras::Dial(nullptr, reinterpret_cast<RASDIALPARAMS_V1*>(buf.data()), Collect, &h);
        }
        EXPECT_EQ(got, r.expected);
    }
    EXPECT_TRUE(testutil::JournalLines("RasDialA").empty());
}

TEST_F(RassimTest, BufferTooSmallReportsTheSizeNeeded)
{
    RASENTRYNAME_V1 one{};
    one.dwSize = sizeof one;
    lstrcpyA(one.szEntryName, "untouched");
    DWORD size = sizeof one, count = 77;
    EXPECT_EQ(ras::EnumEntries(nullptr, &one, &size, &count), kRasErrorBufferTooSmall);
    EXPECT_EQ(size, 3 * 264u);
    EXPECT_EQ(count, 77u);  // the count and the buffer are left alone
    EXPECT_STREQ(one.szEntryName, "untouched");
    RASCONN_V1 none{};
    none.dwSize = sizeof none;
    AddConns(2);
    size = sizeof none;
    EXPECT_EQ(ras::EnumConnections(&none, &size, &count), kRasErrorBufferTooSmall);
    EXPECT_EQ(size, 2 * sizeof(RASCONN_V1));
    EXPECT_EQ(count, 77u);
    std::vector<RASENTRYNAME_V1> all(3);
    all[0].dwSize = sizeof(RASENTRYNAME_V1);
    EXPECT_EQ(ras::EnumEntries(nullptr, all.data(), &size, &count), 0u);
    EXPECT_STREQ(all[2].szEntryName, "Gamma");

    {
        rassim::Session s;
        s.state().FindEntry("Alpha")->alternates = 3;
        s.Commit();
    }
    RASENTRY_V1 e{};
    e.dwSize = sizeof e;
    size = sizeof e;
    DWORD dev = 0;
    EXPECT_EQ(ras::GetEntryProperties(nullptr, "Alpha", &e, &size, nullptr, &dev), kRasErrorBufferTooSmall);
    EXPECT_GT(size, sizeof e);
    size = sizeof e;
    EXPECT_EQ(ras::GetEntryProperties(nullptr, "Nobody", &e, &size, nullptr, &dev), kRasErrorCannotFindEntry);
    EXPECT_EQ(ras::GetEntryProperties(nullptr, "Beta", &e, &size, nullptr, &dev), 0u);
    EXPECT_STREQ(e.szLocalPhoneNumber, "222");
    EXPECT_STREQ(e.szDeviceType, "isdn");
}

TEST_F(RassimTest, EntryNameValidation)
{
    struct Row {
        std::string name;
        DWORD expected;
    };
    for (const Row& r : {Row{"Alpha", ERROR_ALREADY_EXISTS}, Row{"alpha", 0}, Row{"New One", 0}, Row{"Net 50%s", 0},
                         Row{"\"Quoted\" & (more)", 0}, Row{"\xC4rger 2", 0}, Row{"", ERROR_INVALID_NAME},
                         Row{"   ", ERROR_INVALID_NAME}, Row{"-.-", ERROR_INVALID_NAME}, Row{".hidden", ERROR_INVALID_NAME},
                         Row{std::string(257, 'n'), ERROR_INVALID_NAME}, Row{"a|b", ERROR_INVALID_NAME},
                         Row{"a>b", ERROR_INVALID_NAME}, Row{"a<b", ERROR_INVALID_NAME}, Row{"a?b", ERROR_INVALID_NAME},
                         Row{"a*b", ERROR_INVALID_NAME}, Row{"a\\b", ERROR_INVALID_NAME}, Row{"a/b", ERROR_INVALID_NAME},
                         Row{"a:b", ERROR_INVALID_NAME}}) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(ras::ValidateEntryName(nullptr, r.name.c_str()), r.expected);
    }
    // The control tool refuses to make such an entry, as the phone-book editor would.
    EXPECT_NE(testutil::Run(testutil::RassimCtl() + " entry \"a/b\""), 0u);
    EXPECT_EQ(testutil::Run(testutil::RassimCtl() + " entry \"a b\""), 0u);
    RASDIALPARAMS_V1 p{};
    p.dwSize = sizeof p;
    lstrcpyA(p.szEntryName, "Nobody");
    BOOL pw;
    EXPECT_EQ(ras::GetEntryDialParams(nullptr, &p, &pw), kRasErrorCannotFindEntry);
}

// NT 5+ never hands out a saved password: a stand-in that keeps it when
// written back and dials with it.
TEST_F(RassimTest, SavedPasswordStaysWithTheService)
{
    ASSERT_TRUE(rassim::IsNt5());
    RASDIALPARAMS_V1 p{};
    p.dwSize = sizeof p;
    BOOL pw = FALSE;
    lstrcpyA(p.szEntryName, "Alpha");
    ASSERT_EQ(ras::GetEntryDialParams(nullptr, &p, &pw), 0u);
    EXPECT_STREQ(p.szUserName, "ann");
    EXPECT_STREQ(p.szDomain, "dom");
    EXPECT_STRNE(p.szPassword, "pw");
    EXPECT_STRNE(p.szPassword, "");
    EXPECT_TRUE(pw);
    const std::string placeholder = p.szPassword;
    EXPECT_EQ(ras::SetEntryDialParams(nullptr, &p, FALSE), 0u);  // the stand-in keeps the password
    // Empty user name and domain keep theirs, and with them the password.
    RASDIALPARAMS_V1 q{};
    q.dwSize = sizeof q;
    lstrcpyA(q.szEntryName, "Alpha");
    lstrcpyA(q.szPassword, "ignored");
    EXPECT_EQ(ras::SetEntryDialParams(nullptr, &q, FALSE), 0u);
    {
        rassim::Session s;
        const auto* e = s.state().FindEntry("Alpha");
        EXPECT_EQ(e->password, "pw");
        EXPECT_EQ(e->user, "ann");
        EXPECT_EQ(e->domain, "dom");
    }
    // Dialled with the stand-in, the attempt uses the saved password.
    lstrcpyA(p.szPhoneNumber, "");
    HRASCONN h = nullptr;
    ASSERT_EQ(ras::Dial(nullptr, &p, Collect, &h), 0u);
    auto dials = testutil::JournalLines("RasDialA");
    ASSERT_EQ(dials.size(), 1u);
    EXPECT_NE(dials[0].find("password=\"pw\" placeholder=\"1\""), std::string::npos) << dials[0];
    // An empty saved password is a saved password; none saved is an empty field.
    lstrcpyA(q.szUserName, "ann");
    lstrcpyA(q.szPassword, "");
    EXPECT_EQ(ras::SetEntryDialParams(nullptr, &q, FALSE), 0u);
    ASSERT_EQ(ras::GetEntryDialParams(nullptr, &p, &pw), 0u);
    EXPECT_STREQ(p.szPassword, placeholder.c_str());
    EXPECT_TRUE(pw);
    EXPECT_EQ(ras::SetEntryDialParams(nullptr, &q, TRUE), 0u);
    ASSERT_EQ(ras::GetEntryDialParams(nullptr, &p, &pw), 0u);
    EXPECT_STREQ(p.szPassword, "");
    EXPECT_FALSE(pw);
}

// A device is busy from the dial until its connection is released, which is
// some time after the hang-up returns.
TEST_F(RassimTest, BusyDevicesAndTheHandlePassedIn)
{
    {
        rassim::Session s;
        s.state().hangupLatencyMs = 300;
        s.state().FindEntry("Gamma")->deviceName = s.state().FindEntry("Alpha")->deviceName;
        s.state().FindEntry("Alpha")->scripts.push_back("0@10 hang");
        s.Commit();
    }
    auto dial = [](const char* entry, HRASCONN* h) {
        RASDIALPARAMS_V1 p{};
        p.dwSize = sizeof p;
        lstrcpyA(p.szEntryName, entry);
        return ras::Dial(nullptr, &p, Collect, h);
    };
    HRASCONN alpha = nullptr, other = nullptr;
    ASSERT_EQ(dial("Alpha", &alpha), 0u);
    EXPECT_EQ(dial("Alpha", &other), 756u);  // the entry is being dialled
    other = nullptr;
    EXPECT_EQ(dial("Gamma", &other), 633u);  // another entry on the same device
    EXPECT_EQ(other, nullptr);
    ASSERT_EQ(ras::HangUp(alpha), 0u);
    EXPECT_EQ(dial("Gamma", &other), 633u);  // hung up, not yet released
    DWORD r = 0;
    ASSERT_TRUE(WaitUntilReleased(alpha));
    EXPECT_EQ(dial("Gamma", &other), 0u);
    ras::HangUp(other);
    ASSERT_TRUE(WaitUntilReleased(other));
    // A handle passed in asks to resume a paused connection: there is none, and nothing is dialled.
    size_t before = testutil::JournalLines("RasDialA").size();
    HRASCONN stale = alpha;
    EXPECT_EQ(dial("Beta", &stale), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(testutil::JournalLines("RasDialA").size(), before);
    Status(stale, &r);
    EXPECT_EQ(r, static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// Null is the default phone-book; a path that does not exist fails every call.
TEST_F(RassimTest, PhonebookArgument)
{
    const std::string book = rassim::DefaultPhonebook();
    const char* missing = "C:\\nowhere\\rasphone.pbk";
    for (const char* pbk : {static_cast<const char*>(nullptr), book.c_str(), missing}) {
        SCOPED_TRACE(pbk ? pbk : "null");
        DWORD expect = pbk == missing ? 621u : 0u;
        EXPECT_EQ(ras::ValidateEntryName(pbk, "Alpha"), pbk == missing ? 621u : static_cast<DWORD>(ERROR_ALREADY_EXISTS));
        RASENTRYNAME_V1 names[4]{};
        names[0].dwSize = sizeof names[0];
        DWORD size = sizeof names, count = 0;
        EXPECT_EQ(ras::EnumEntries(pbk, names, &size, &count), expect);
        RASENTRY_V1 e{};
        e.dwSize = sizeof e;
        size = sizeof e;
        DWORD dev = 0;
        EXPECT_EQ(ras::GetEntryProperties(pbk, "Beta", &e, &size, nullptr, &dev), expect);
        RASDIALPARAMS_V1 p{};
        p.dwSize = sizeof p;
        lstrcpyA(p.szEntryName, "Beta");
        BOOL pw;
        EXPECT_EQ(ras::GetEntryDialParams(pbk, &p, &pw), expect);
        EXPECT_EQ(ras::SetEntryDialParams(pbk, &p, FALSE), expect);
        RASCREDENTIALS_V1 c{};
        c.dwSize = sizeof c;
        c.dwMask = RASCM_UserName;
        EXPECT_EQ(ras::SetCredentials(pbk, "Beta", &c, FALSE), expect);
    }
    RASDIALPARAMS_V1 p{};
    p.dwSize = sizeof p;
    lstrcpyA(p.szEntryName, "Beta");
    HRASCONN h = nullptr;
    EXPECT_EQ(ras::Dial(missing, &p, Collect, &h), 621u);
    EXPECT_EQ(h, nullptr);
}

// Without a notifier the dial returns when the attempt has ended.
TEST_F(RassimTest, DialWithoutNotifierIsSynchronous)
{
    Script("Gamma", "0@10 connected@300");
    Script("Gamma", "0@10 fail:678@50");
    for (DWORD expected : {0u, 678u}) {
        RASDIALPARAMS_V1 p{};
        p.dwSize = sizeof p;
        lstrcpyA(p.szEntryName, "Gamma");
        HRASCONN h = nullptr;
        DWORD start = GetTickCount();
        EXPECT_EQ(ras::Dial(nullptr, &p, nullptr, &h), expected);
        ASSERT_NE(h, nullptr);
        DWORD r;
        RASCONNSTATUS_V1 st = Status(h, &r);
        if (expected == 0) {
            EXPECT_GE(GetTickCount() - start, 300u);
            EXPECT_EQ(st.rasconnstate, RASCS_Connected);
        } else {
            EXPECT_EQ(st.dwError, expected);
        }
        EXPECT_TRUE(g_notes.empty());
        ras::HangUp(h);
        ASSERT_TRUE(WaitUntilReleased(h));
    }
}

// Queries leave the state file alone: only calls that change something write it.
TEST_F(RassimTest, QueriesDoNotRewriteTheState)
{
    AddConns(1);
    const std::string path = rassim::Dir() + "\\state.txt";
    auto written = [&] {
        WIN32_FILE_ATTRIBUTE_DATA a{};
        GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &a);
        return (static_cast<uint64_t>(a.ftLastWriteTime.dwHighDateTime) << 32) | a.ftLastWriteTime.dwLowDateTime;
    };
    uint64_t before = written();
    Sleep(50);
    DWORD r;
    Status(reinterpret_cast<HRASCONN>(1), &r);
    RASCONN_V1 conns[4]{};
    conns[0].dwSize = sizeof conns[0];
    DWORD size = sizeof conns, count = 0;
    EXPECT_EQ(ras::EnumConnections(conns, &size, &count), 0u);
    EXPECT_EQ(ras::ValidateEntryName(nullptr, "Alpha"), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    RASDIALPARAMS_V1 p{};
    p.dwSize = sizeof p;
    lstrcpyA(p.szEntryName, "Alpha");
    BOOL pw;
    EXPECT_EQ(ras::GetEntryDialParams(nullptr, &p, &pw), 0u);
    EXPECT_EQ(written(), before);
    RASCREDENTIALS_V1 c{};
    c.dwSize = sizeof c;
    c.dwMask = RASCM_UserName;
    lstrcpyA(c.szUserName, "changed");
    EXPECT_EQ(ras::SetCredentials(nullptr, "Alpha", &c, FALSE), 0u);
    EXPECT_NE(written(), before);
}

TEST_F(RassimTest, DialReportsEveryStateFromItsOwnThread)
{
    Script("Alpha", "0@10 1@10 5@10 connected@10");
    HRASCONN h = DialAndWait("Alpha");
    ASSERT_NE(h, nullptr);
    Lock l;
    ASSERT_EQ(g_notes.size(), 4u);
    EXPECT_EQ(g_notes[2].state, 5u);
    EXPECT_EQ(g_notes[3].state, RASCS_Connected);
    EXPECT_NE(g_notes[0].thread, GetCurrentThreadId());
    auto dials = testutil::JournalLines("RasDialA");
    ASSERT_EQ(dials.size(), 1u);
    EXPECT_NE(dials[0].find("number=\"111\""), std::string::npos);  // the entry's own number
    EXPECT_NE(dials[0].find("user=\"dialler\" password=\"secret\""), std::string::npos);
    DWORD r;
    EXPECT_EQ(Status(h, &r).rasconnstate, RASCS_Connected);
    EXPECT_EQ(r, 0u);
}

TEST_F(RassimTest, FailedAttemptAndHangUpLatency)
{
    {
        rassim::Session s;
        s.state().hangupLatencyMs = 300;
        s.state().deletePasswordOnFailure = true;
        s.Commit();
    }
    Script("Alpha", "0@10 2@10 fail:676@10");
    HRASCONN h = DialAndWait("Alpha", "0123");
    {
        Lock l;
        ASSERT_FALSE(g_notes.empty());
        EXPECT_EQ(g_notes.back().error, 676u);
        EXPECT_EQ(g_notes.back().state, 2u);
    }
    EXPECT_NE(testutil::JournalLines("RasDialA")[0].find("number=\"0123\""), std::string::npos);
    DWORD r;
    RASCONNSTATUS_V1 st = Status(h, &r);
    EXPECT_EQ(st.dwError, 676u);
    {
        rassim::Session s;  // the Windows 2000 fault: the stored password is gone
        EXPECT_TRUE(s.state().FindEntry("Alpha")->password.empty());
    }
    EXPECT_EQ(ras::HangUp(h), 0u);
    Status(h, &r);
    EXPECT_EQ(r, 0u);  // still there while the hang-up completes
    Sleep(400);
    Status(h, &r);
    EXPECT_EQ(r, static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(ras::HangUp(h), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(RassimTest, ScriptsPerAttemptTheLastRepeats)
{
    Script("Gamma", "fail:678@5");
    Script("Gamma", "disconnected@5");
    for (DWORD expectError : {678u, 0u, 0u}) {
        ResetEvent(g_finished);
        g_notes.clear();
        HRASCONN h = DialAndWait("Gamma");
        Lock l;
        EXPECT_EQ(g_notes.back().error, expectError);
        if (!expectError) {
            EXPECT_EQ(g_notes.back().state, RASCS_Disconnected);
        }
        ras::HangUp(h);
        EXPECT_TRUE(WaitUntilReleased(h));
    }
}

TEST_F(RassimTest, CredentialsChangeOnlyWhatTheMaskSelects)
{
    RASCREDENTIALS_V1 c{};
    c.dwSize = sizeof c;
    c.dwMask = RASCM_Password;
    lstrcpyA(c.szUserName, "ignored");
    lstrcpyA(c.szPassword, "new");
    EXPECT_EQ(ras::SetCredentials(nullptr, "Alpha", &c, FALSE), 0u);
    RASDIALPARAMS_V1 p{};
    p.dwSize = sizeof p;
    lstrcpyA(p.szEntryName, "Alpha");
    BOOL pw;
    ras::GetEntryDialParams(nullptr, &p, &pw);
    EXPECT_STREQ(p.szUserName, "ann");
    EXPECT_STREQ(p.szDomain, "dom");
    EXPECT_EQ(SavedPassword("Alpha"), "new");
    auto lines = testutil::JournalLines("RasSetCredentialsA");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("mask=\"0x2\""), std::string::npos);
    EXPECT_EQ(lines[0].find("ignored"), std::string::npos);

    lstrcpyA(p.szUserName, "bob");
    EXPECT_EQ(ras::SetEntryDialParams(nullptr, &p, FALSE), 0u);
    ras::GetEntryDialParams(nullptr, &p, &pw);
    EXPECT_STREQ(p.szUserName, "bob");
    EXPECT_EQ(SavedPassword("Alpha"), "new");
    EXPECT_EQ(ras::SetEntryDialParams(nullptr, &p, TRUE), 0u);  // remove the password
    ras::GetEntryDialParams(nullptr, &p, &pw);
    EXPECT_STREQ(p.szPassword, "");
    EXPECT_FALSE(pw);
}

TEST_F(RassimTest, ErrorTextsAndFaultInjection)
{
    char buf[256];
    EXPECT_EQ(ras::GetErrorString(676, buf, sizeof buf), 0u);
    EXPECT_STREQ(buf, "The line is busy.");
    EXPECT_EQ(ras::GetErrorString(691, buf, 10), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_NE(ras::GetErrorString(4242, buf, sizeof buf), 0u);
    {
        rassim::Session s;
        s.state().faults["RasValidateEntryNameA"] = rassim::Fault{621, 2, 0, false};
        s.Commit();
    }
    EXPECT_EQ(ras::ValidateEntryName(nullptr, "Alpha"), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(ras::ValidateEntryName(nullptr, "Alpha"), 621u);  // only the second call
    EXPECT_EQ(ras::ValidateEntryName(nullptr, "Alpha"), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
}

TEST_F(RassimTest, StateIsSharedByConcurrentProcesses)
{
    static LONG failures;
    failures = 0;
    std::vector<HANDLE> workers;
    for (int i = 0; i < 6; ++i)
        workers.push_back(CreateThread(
            nullptr, 0,
            [](void*) WINAPI -> DWORD {
                if (testutil::Run(testutil::RassimCtl() + " connect Beta") != 0) InterlockedIncrement(&failures);
                return 0;
            },
            nullptr, 0, nullptr));
    WaitForMultipleObjects(static_cast<DWORD>(workers.size()), workers.data(), TRUE, INFINITE);
    for (HANDLE t : workers) CloseHandle(t);
    EXPECT_EQ(failures, 0);
    RASCONN_V1 conns[16]{};
    conns[0].dwSize = sizeof(RASCONN_V1);
    DWORD size = sizeof conns, count = 0;
    ASSERT_EQ(ras::EnumConnections(conns, &size, &count), 0u);
    ASSERT_EQ(count, 6u);
    std::set<HRASCONN> handles;
    for (DWORD i = 0; i < count; ++i) handles.insert(conns[i].hrasconn);
    EXPECT_EQ(handles.size(), 6u);
    EXPECT_STREQ(conns[0].szDeviceName, "ISDN card");
}

TEST_F(RassimTest, ConnectionOutlivesTheProcessThatDialled)
{
    std::string out;
    ASSERT_EQ(testutil::Run(testutil::RassimCtl() + " dial Alpha", &out), 0u) << out;
    RASCONN_V1 conns[4]{};
    conns[0].dwSize = sizeof(RASCONN_V1);
    DWORD size = sizeof conns, count = 0;
    ASSERT_EQ(ras::EnumConnections(conns, &size, &count), 0u);
    ASSERT_EQ(count, 1u);
    EXPECT_STREQ(conns[0].szEntryName, "Alpha");
    DWORD r;
    EXPECT_EQ(Status(conns[0].hrasconn, &r).rasconnstate, RASCS_Connected);
}

}  // namespace

// The test bed's reading of Wine's heap log: only what the thread that ends a
// process reports after Wine let it take a dead thread's lock is set aside;
// before that line, in another thread, or from the page heap, all counts.
TEST(HeapLogTest, OnlyWhatFollowsALockTakenFromAKilledThreadIsSetAside)
{
    const std::string log =
        "00a0:00a4:err:heap:validate_used_block heap 00720000, block 00735BA0: invalid block tail\n"
        "00a0:00a4:warn:sync:RtlpWaitForCriticalSection process L\"Pendro.exe\" is shutting down, returning "
        "STATUS_SUCCESS\n"
        "00a0:00a4:err:heap:validate_used_block heap 00720000, block 00736000: invalid block tail\n"
        "00a0:00b8:err:heap:validate_free_block heap 00720000, block 00737000: free block overwritten\n"
        "00a0:00a4:err:heap:guard write to 01638000 just past a block (its guard page)\n"
        "00c0:00a4:err:heap:validate_used_block heap 00720000, block 00738000: invalid block tail\n";
    std::string found = testutil::HeapErrorsIn(log, {0xA0, 0xC0});
    for (const char* block : {"00735BA0", "00737000", "01638000", "00738000"})
        EXPECT_NE(found.find(block), std::string::npos) << block;
    EXPECT_EQ(found.find("00736000"), std::string::npos);
    EXPECT_EQ(testutil::HeapErrorsIn(log, {0xB0}), "");
}

// The test bed's page heap, in a program it is loaded into: a block ends
// where the next page was never mapped, a freed block's page is unmapped, and
// new blocks hold the run's fill. A page heap that hooked but did not guard
// would only say it is active.
TEST(PageHeapTest, BlocksEndBeforeAnUnmappedPageAndFreedOnesAreUnmapped)
{
    char self[MAX_PATH] = "", names[512] = "";
    GetModuleFileNameA(nullptr, self, sizeof self);
    GetEnvironmentVariableA("PENDRO_GUARD_HEAP", names, sizeof names);
    if (!StrStrIA(names, PathFindFileNameA(self))) GTEST_SKIP() << "no page heap here";
    ras::ValidateEntryName(nullptr, "Alpha");  // loads the simulated service, which loads the page heap
    ASSERT_TRUE(GetModuleHandleA("guardheap.dll"));
    auto committed = [](const void* p) {
        MEMORY_BASIC_INFORMATION m{};
        return VirtualQuery(p, &m, sizeof m) && m.State == MEM_COMMIT;
    };
    const SIZE_T align = 2 * sizeof(void*);
    auto rounded = [align](SIZE_T size) { return (size + align - 1) & ~(align - 1); };
    HANDLE heap = GetProcessHeap();
    for (SIZE_T size : {SIZE_T{1}, SIZE_T{100}, SIZE_T{4096}, SIZE_T{5000}}) {
        auto* p = static_cast<BYTE*>(HeapAlloc(heap, 0, size));
        ASSERT_TRUE(p) << size;
        const SIZE_T end = rounded(size);
        EXPECT_TRUE(committed(p) && committed(p + end - 1)) << size;
        EXPECT_FALSE(committed(p + end)) << size;
        EXPECT_NE(p[0], 0) << size;
        EXPECT_EQ(p[size - 1], p[0]) << size;
        ASSERT_TRUE(HeapFree(heap, 0, p));
        EXPECT_FALSE(committed(p)) << size;
    }
    auto* zeroed = static_cast<BYTE*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, 64));
    ASSERT_TRUE(zeroed);
    EXPECT_EQ(zeroed[0] | zeroed[63], 0);
    HeapFree(heap, 0, zeroed);
    auto* fromCrt = static_cast<char*>(std::malloc(10));  // the C runtime's heap too
    ASSERT_TRUE(fromCrt);
    EXPECT_FALSE(committed(fromCrt + rounded(10)));
    std::free(fromCrt);
}
