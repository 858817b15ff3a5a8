// The simulated service keeps the real service's contracts: the tests of the
// program can only be as true as it is.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ras/ras_api.h"
#include "test_util.h"

namespace {

struct Notification {
    DWORD state, error, thread;
};
std::mutex g_lock;
std::vector<Notification> g_notes;
HANDLE g_finished;

void WINAPI Collect(UINT, RASCONNSTATE state, DWORD error)
{
    std::lock_guard<std::mutex> l(g_lock);
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
    static RASCONNSTATUS_V1 Status(HRASCONN h, DWORD* result)
    {
        RASCONNSTATUS_V1 st{};
        st.dwSize = sizeof st;
        *result = ras::GetConnectStatus(h, &st);
        return st;
    }
};

TEST_F(RassimTest, StructureSizesAreChecked)
{
    RASENTRYNAME_V1 names[4]{};
    DWORD size = sizeof names, count = 0;
    names[0].dwSize = 100;
    EXPECT_EQ(ras::EnumEntries(nullptr, names, &size, &count), kRasErrorInvalidSize);
    RASDIALPARAMS_V1 p{};
    p.dwSize = 1000;
    BOOL pw;
    EXPECT_EQ(ras::GetEntryDialParams(nullptr, &p, &pw), kRasErrorInvalidSize);
    RASCONNSTATUS_V1 st{};
    st.dwSize = 12;
    EXPECT_EQ(ras::GetConnectStatus(reinterpret_cast<HRASCONN>(1), &st), kRasErrorInvalidSize);
    RASCONN_V1 conns[1]{};
    conns[0].dwSize = 7;
    size = sizeof conns;
    EXPECT_EQ(ras::EnumConnections(conns, &size, &count), kRasErrorInvalidSize);
    RASCREDENTIALS_V1 cred{};
    cred.dwSize = 539;
    EXPECT_EQ(ras::SetCredentials(nullptr, "Alpha", &cred, FALSE), kRasErrorInvalidSize);
    // A later, larger layout is accepted too.
    std::vector<BYTE> later(532 * 3);
    reinterpret_cast<RASENTRYNAME_V1*>(later.data())->dwSize = 532;
    size = static_cast<DWORD>(later.size());
    EXPECT_EQ(ras::EnumEntries(nullptr, reinterpret_cast<RASENTRYNAME_V1*>(later.data()), &size, &count), 0u);
    EXPECT_EQ(count, 3u);
}

TEST_F(RassimTest, BufferTooSmallReportsTheSizeNeeded)
{
    RASENTRYNAME_V1 one{};
    one.dwSize = sizeof one;
    DWORD size = sizeof one, count = 0;
    EXPECT_EQ(ras::EnumEntries(nullptr, &one, &size, &count), kRasErrorBufferTooSmall);
    EXPECT_EQ(size, 3 * sizeof(RASENTRYNAME_V1));
    EXPECT_EQ(count, 3u);
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
    EXPECT_EQ(ras::ValidateEntryName(nullptr, "Alpha"), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(ras::ValidateEntryName(nullptr, "alpha"), 0u);  // names are exact
    EXPECT_EQ(ras::ValidateEntryName(nullptr, "New One"), 0u);
    EXPECT_EQ(ras::ValidateEntryName(nullptr, ""), static_cast<DWORD>(ERROR_INVALID_NAME));
    EXPECT_EQ(ras::ValidateEntryName(nullptr, ".hidden"), static_cast<DWORD>(ERROR_INVALID_NAME));
    EXPECT_EQ(ras::ValidateEntryName(nullptr, std::string(257, 'n').c_str()), static_cast<DWORD>(ERROR_INVALID_NAME));
    EXPECT_EQ(ras::ValidateEntryName(nullptr, "a/b \"c\" <d>"), 0u);
    RASDIALPARAMS_V1 p{};
    p.dwSize = sizeof p;
    lstrcpyA(p.szEntryName, "Nobody");
    BOOL pw;
    EXPECT_EQ(ras::GetEntryDialParams(nullptr, &p, &pw), kRasErrorCannotFindEntry);
    lstrcpyA(p.szEntryName, "Alpha");
    EXPECT_EQ(ras::GetEntryDialParams(nullptr, &p, &pw), 0u);
    EXPECT_STREQ(p.szUserName, "ann");
    EXPECT_STREQ(p.szPassword, "pw");
    EXPECT_STREQ(p.szDomain, "dom");
}

TEST_F(RassimTest, DialReportsEveryStateFromItsOwnThread)
{
    Script("Alpha", "0@10 1@10 5@10 connected@10");
    HRASCONN h = DialAndWait("Alpha");
    ASSERT_NE(h, nullptr);
    std::lock_guard<std::mutex> l(g_lock);
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
        std::lock_guard<std::mutex> l(g_lock);
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
        std::lock_guard<std::mutex> l(g_lock);
        EXPECT_EQ(g_notes.back().error, expectError);
        if (!expectError) {
            EXPECT_EQ(g_notes.back().state, RASCS_Disconnected);
        }
        ras::HangUp(h);
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
    EXPECT_STREQ(p.szPassword, "new");
    EXPECT_STREQ(p.szDomain, "dom");
    auto lines = testutil::JournalLines("RasSetCredentialsA");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("mask=\"0x2\""), std::string::npos);
    EXPECT_EQ(lines[0].find("ignored"), std::string::npos);

    lstrcpyA(p.szUserName, "bob");
    EXPECT_EQ(ras::SetEntryDialParams(nullptr, &p, FALSE), 0u);
    ras::GetEntryDialParams(nullptr, &p, &pw);
    EXPECT_STREQ(p.szUserName, "bob");
    EXPECT_STREQ(p.szPassword, "new");
    EXPECT_EQ(ras::SetEntryDialParams(nullptr, &p, TRUE), 0u);  // remove the password
    ras::GetEntryDialParams(nullptr, &p, &pw);
    EXPECT_STREQ(p.szPassword, "");
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
    std::vector<std::thread> workers;
    std::atomic<int> failures{0};
    for (int i = 0; i < 6; ++i)
        workers.emplace_back([&] {
            if (testutil::Run(testutil::RassimCtl() + " connect Beta") != 0) ++failures;
        });
    for (auto& t : workers) t.join();
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
