// The dial sequence of the real program, from Dial to connected, given up or
// cancelled, against the simulated service.
#include <cstdlib>
#include <functional>

#include "fixture.h"
#include "ras/ras_dialer.h"
#include "vault/password_store.h"

namespace e2e {
namespace {

const char kRedialQuestion[] =
    "Connection failed.\n\nFor security reasons the automated redialing will not be invoked\nbefore you have at least "
    "once successfully connected to the\nselected provider.\n\nRedial?";

class DialTest : public E2eTest {
protected:
    // Starts the program, selects the entry and presses Dial.
    void Start(Pendro& p, const char* entry)
    {
        ASSERT_TRUE(p.Window());
        p.Select(entry);
        p.Click(kDial);
    }
    static uint32_t AddConnection(const char* entry, const char* type, const char* device, DWORD state)
    {
        rassim::Session s;
        uint32_t h = testutil::AddConnection(s.state(), entry, type, device, state);
        s.Commit();
        return h;
    }
    static std::string Journal(const std::string& fn, size_t i)
    {
        auto lines = testutil::JournalLines(fn);
        return i < lines.size() ? lines[i] : std::string();
    }
};

TEST_F(DialTest, EntryThatNeverConnectedAsksBeforeEveryRedial)
{
    Entries({{"Alpha", "0@10 2@10 fail:676@10"}});
    Pendro p;
    Start(p, "Alpha");
    MessageBoxInfo box = p.WaitMessageBox();
    ASSERT_TRUE(box.hwnd);
    EXPECT_EQ(box.caption, "Kelvane Pendro!");
    EXPECT_EQ(box.text, kRedialQuestion);
    EXPECT_EQ(box.buttons, (std::vector<int>{IDYES, IDNO}));
    EXPECT_EQ(box.defaultButton, IDYES);
    EXPECT_EQ(IconKind(box), static_cast<UINT>(MB_ICONEXCLAMATION));
    auto lines = p.LogLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Dial attempt 1/100:");
    EXPECT_EQ(lines[1], "Open port...");
    EXPECT_EQ(lines.back(), "Error during connection process: The line is busy.");
    // The user name was written back, the password (none stored) was not.
    EXPECT_NE(Journal("RasSetCredentialsA", 0).find("mask=\"0x1\" user=\"user\""), std::string::npos);
    EXPECT_EQ(Count("RasSetCredentialsA"), 1u);

    p.Answer(box, IDYES);
    box = p.WaitMessageBox();
    ASSERT_TRUE(box.hwnd);
    lines = p.LogLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Dial attempt 2/100:");
    EXPECT_EQ(lines[1], "Previous error: The line is busy.");
    EXPECT_EQ(Count("RasDialA"), 2u);

    p.Answer(box, IDNO);  // the run ends, the failed attempt's lines stay
    ASSERT_TRUE(WaitFor([&] { return Idle(p); }));
    EXPECT_EQ(p.LogLines().back(), "Error during connection process: The line is busy.");
    EXPECT_EQ(Count("RasDialA"), 2u);

    Script("Alpha", "0@10 hang");  // No cleared the previous error
    p.Click(kDial);
    ASSERT_TRUE(WaitFor([&] { return Count("RasDialA") == 3; }));
    ASSERT_TRUE(WaitFor([&] { return p.LogLines().size() >= 2; }));
    EXPECT_EQ(p.LogLines()[0], "Dial attempt 1/100:");
    EXPECT_EQ(p.LogLines()[1], "Open port...");
}

// A redial's attempt outgrows the box: its newest line stays in view at
// every notification, not the first line the whole text would show.
TEST_F(DialTest, LogKeepsItsNewestLineInView)
{
    Entries({{"Alpha", "std@60 fail:678@60"}});
    Script("Alpha", "std@250 hang");
    testutil::WriteValue(kKey, "DialEntryOK", REG_SZ, std::string("Alpha", 6));
    Pendro p;
    Start(p, "Alpha");
    ASSERT_TRUE(WaitFor([&] { return Count("RasDialA") == 2; }));
    HWND log = p.Item(kLog);
    auto top = [&](int line) {
        return static_cast<short>(HIWORD(SendMessageA(log, EM_POSFROMCHAR, SendMessageA(log, EM_LINEINDEX, line, 0), 0)));
    };
    RECT box;
    GetClientRect(log, &box);
    size_t seen = 0;
    WaitFor([&] {
        if (size_t n = p.LogLines().size(); n != seen && n >= 3) {
            seen = n;  // the text ends in a line break: its last line is the next to last
            int last = static_cast<int>(SendMessageA(log, EM_GETLINECOUNT, 0, 0)) - 2;
            EXPECT_TRUE(top(last) >= box.top && 2 * top(last) - top(last - 1) <= box.bottom) << n << " lines";
        }
        return seen >= 10;  // header, previous error, the eight states
    });
    EXPECT_GT(SendMessageA(log, EM_GETFIRSTVISIBLELINE, 0, 0), 0);  // it did outgrow the box
    EXPECT_EQ(p.LogLines().back(), "Authenticated.");
    p.Screenshot("log_newest_line");
}

TEST_F(DialTest, EntryThatConnectedBeforeRedialsToTheLimitWithoutAsking)
{
    ValidateHeap(false);  // a hundred attempts: over two minutes with the heap validated on every operation
    Entries({{"Alpha", "0@1 fail:678@1"}});
    testutil::WriteValue(kKey, "DialEntryOK", REG_SZ, std::string("Alpha", 6));
    Pendro p;
    Start(p, "Alpha");
    ASSERT_TRUE(WaitFor([&] { return Count("RasDialA") > 0; }));
    ASSERT_TRUE(WaitFor([&] { return Idle(p); }, 120000));
    EXPECT_TRUE(p.NoMessageBox(200));
    EXPECT_EQ(Count("RasDialA"), 100u);
    auto lines = p.LogLines();
    // The failure is reported with the state it happened in: its text comes twice.
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], "Dial attempt 100/100:");
    EXPECT_EQ(lines[1], "Previous error: There is no answer.");
    EXPECT_EQ(lines[2], "Open port...");
    EXPECT_EQ(lines[3], "Open port...");
    EXPECT_EQ(lines[4], "There is no answer.");
    EXPECT_EQ(lines[5], "Error during connection process: There is no answer.");
    EXPECT_EQ(lines[6], "Maximum number of dial attempts reached.");
    EXPECT_EQ(Count("RasSetCredentialsA"), 100u);  // written back after every failure, the last included

    // The limit keeps the last failure for the next run's first block.
    Script("Alpha", "0@10 hang");
    p.Click(kDial);
    ASSERT_TRUE(WaitFor([&] { return Count("RasDialA") == 101; }));
    ASSERT_TRUE(WaitFor([&] { return p.LogLines().size() >= 2; }));
    EXPECT_EQ(p.LogLines()[0], "Dial attempt 1/100:");
    EXPECT_EQ(p.LogLines()[1], "Previous error: There is no answer.");
    p.Click(kCancel);
}

TEST_F(DialTest, ConnectionIsRecordedOnceAndLeftUpWhenTheProgramCloses)
{
    const std::string alpha = N("Alpha"), lower = N("alpha"), beta = N("Beta");
    Entries({{alpha.c_str(), "std@5 connected@5"}, {beta.c_str(), nullptr}});
    testutil::WriteValue(kKey, "DialEntryOK", REG_SZ, lower + '\0');  // another letter case
    {
        Pendro p;
        Start(p, alpha.c_str());
        EXPECT_EQ(p.WaitExit(), 0u);  // closes itself once connected
    }
    // The entry is the one stored in another case: not recorded again.
    auto ok = testutil::ReadValue(kKey, "DialEntryOK");
    EXPECT_EQ(ok.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(ok.data, lower + '\0');
    EXPECT_EQ(Setting("DefaultEntry"), alpha);
    CRasDialer dialer;
    HRASCONN conn = nullptr;
    ASSERT_TRUE(dialer.FindActiveConnection(&conn));
    EXPECT_TRUE(IsConnected(&conn));
    EXPECT_EQ(Count("RasHangUpA"), 0u);

    {
        Pendro p;
        Start(p, alpha.c_str());
        MessageBoxInfo box = p.WaitMessageBox();  // already connected over its modem
        ASSERT_TRUE(box.hwnd);
        p.Answer(box, IDYES);
        EXPECT_EQ(p.WaitExit(), 0u);
    }
    EXPECT_EQ(testutil::ReadValue(kKey, "DialEntryOK").data, lower + '\0');

    testutil::DeleteKey(kKey);
    rassim::ResetAll();
    Entries({{beta.c_str(), "connected@5"}});
    {
        Pendro p;
        Start(p, beta.c_str());
        EXPECT_EQ(p.WaitExit(), 0u);
    }
    ok = testutil::ReadValue(kKey, "DialEntryOK");
    EXPECT_EQ(ok.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(ok.data, beta + '\0');
}

TEST_F(DialTest, DisconnectionWithoutCauseEndsTheRun)
{
    Entries({{"Alpha", "0@10 fail:676@10"}});
    Script("Alpha", "0@10 1@10 disconnected@10");
    testutil::WriteValue(kKey, "DialEntryOK", REG_SZ, std::string("Alpha", 6));
    Pendro p;
    Start(p, "Alpha");
    ASSERT_TRUE(WaitFor([&] { return Count("RasDialA") == 2; }));
    ASSERT_TRUE(WaitFor([&] { return Idle(p); }));
    EXPECT_TRUE(p.NoMessageBox(300));
    auto lines = p.LogLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "Disconnected.");
    EXPECT_EQ(lines.back(), "Disconnected while dialing (reason unknown). Aborting automated redial process.");
    // Written back after the failure only, not after the disconnection.
    EXPECT_EQ(Count("RasSetCredentialsA") + Count("RasSetEntryDialParamsA"), 1u);
    EXPECT_EQ(Count("RasDialA"), 2u);

    // The end without a cause keeps the failure before it for the next run.
    Script("Alpha", "0@10 hang");
    p.Click(kDial);
    ASSERT_TRUE(WaitFor([&] { return Count("RasDialA") == 3; }));
    ASSERT_TRUE(WaitFor([&] { return p.LogLines().size() >= 2; }));
    EXPECT_EQ(p.LogLines()[1], "Previous error: The line is busy.");
    p.Click(kCancel);
}

TEST_F(DialTest, CancelAfterAFailureKeepsThePreviousError)
{
    Entries({{"Alpha", "fail:676@10"}});
    Script("Alpha", "0@10 hang");
    testutil::WriteValue(kKey, "DialEntryOK", REG_SZ, std::string("Alpha", 6));
    Pendro p;
    Start(p, "Alpha");
    ASSERT_TRUE(WaitFor([&] { return Count("RasDialA") == 2; }));
    ASSERT_TRUE(WaitFor([&] { return p.LogLines().size() >= 3; }));
    // Every control while dialing, then after the run: only Cancel changes
    // the other way; Click here! and the log are never touched.
    struct Control {
        int id;
        bool dialing, idle;
    };
    const Control controls[] = {{kPassword, false, true}, {kDial, false, true},     {kQuit, false, true},
                                {kShortcut, false, true}, {kEntry, false, true},    {kPrefix, false, true},
                                {kCancel, true, false},   {kClickHere, true, true}, {kLog, true, true}};
    for (const Control& c : controls)
        EXPECT_EQ(p.Enabled(c.id), c.dialing) << "control " << c.id << " while dialing";
    p.Click(kCancel);
    ASSERT_TRUE(WaitFor([&] { return Idle(p); }));
    for (const Control& c : controls)
        EXPECT_EQ(p.Enabled(c.id), c.idle) << "control " << c.id << " after the run";
    EXPECT_EQ(Count("RasHangUpA"), 2u);
    EXPECT_TRUE(p.NoMessageBox(200));

    p.Click(kDial);
    ASSERT_TRUE(WaitFor([&] { return Count("RasDialA") == 3; }));
    ASSERT_TRUE(WaitFor([&] { return p.LogLines().size() >= 2; }));
    EXPECT_EQ(p.LogLines()[0], "Dial attempt 1/100:");
    EXPECT_EQ(p.LogLines()[1], "Previous error: The line is busy.");

    // Notifications that arrive after Cancel are still logged; no run starts.
    p.Click(kCancel);
    ASSERT_TRUE(WaitFor([&] { return Idle(p); }));
    p.Post(0x8000, 3, 0);
    p.Post(0x8000, 5, 691);
    ASSERT_TRUE(WaitFor([&] { return p.LogLines().size() >= 2 && p.LogLines().back().find("Access denied") == 0; }));
    auto lines = p.LogLines();
    EXPECT_EQ(lines[lines.size() - 3], "Device connected.");
    EXPECT_EQ(lines[lines.size() - 2], "Authenticate...");
    Sleep(400);
    EXPECT_TRUE(Idle(p));
    EXPECT_EQ(Count("RasDialA"), 3u);
}

TEST_F(DialTest, DialRequestsByIndex)
{
    Entries({{"Net Plus", "hang"}, {"Other", "hang"}});
    Pendro p;
    ASSERT_TRUE(p.Window());
    p.Select("Other");
    p.Post(0x8001, 2, 0);  // beyond the entries: nothing happens
    Sleep(400);
    EXPECT_EQ(p.SelectedEntry(), "Other");
    EXPECT_EQ(Count("RasDialA"), 0u);

    // The phonebook changes after start-up: "Net" now comes first and only
    // begins a name of the list; "Zulu" is in no item of the list at all.
    {
        rassim::Session s;
        auto& st = s.state();
        st.entries.insert(st.entries.begin(), rassim::Entry{});
        st.entries.front().name = "Net";
        testutil::AddEntry(st, "Zulu");
        s.Commit();
    }
    p.Post(0x8001, 3, 0);
    Sleep(400);
    EXPECT_EQ(p.SelectedEntry(), "Net Plus");  // the first item, and no dial
    EXPECT_EQ(Count("RasDialA"), 0u);
    p.Select("Other");
    p.Post(0x8001, 0, 0);
    ASSERT_TRUE(WaitFor([&] { return Count("RasDialA") == 1; }));
    EXPECT_NE(Journal("RasDialA", 0).find("entry=\"Net Plus\""), std::string::npos);
    // A second request while the run goes on is ignored: the run keeps its connection.
    p.Post(0x8001, 2, 0);
    Sleep(400);
    EXPECT_EQ(Count("RasDialA"), 1u);
    EXPECT_EQ(Count("RasHangUpA"), 0u);
}

// A request that arrives while one of the idle window's own dialogs is open
// waits until it has closed; what the dialog was opened for keeps its entry.
TEST_F(DialTest, DialRequestDuringAnIdleDialogWaitsForItToClose)
{
    struct Row {
        const char* what;
        std::function<void(Pendro&)> open;
        std::function<void(Pendro&, const MessageBoxInfo&)> close;
        std::function<void()> check;
    };
    const Row rows[] = {
        {"the shortcut question", [](Pendro& p) { p.Click(kShortcut); },
         [](Pendro& p, const MessageBoxInfo& box) { p.Answer(box, IDYES); },
         [] {
             std::string link = DesktopDir() + "\\Kelvane Pendro! to Alpha.lnk";
             EXPECT_NE(GetFileAttributesA(link.c_str()), INVALID_FILE_ATTRIBUTES);  // Alpha's, as asked
             DeleteFileA(link.c_str());
         }},
        {"the About box", [](Pendro& p) { p.Post(WM_SYSCOMMAND, 0x0010, 0); },
         [](Pendro& p, const MessageBoxInfo& box) { p.Answer(box, IDOK); }, [] {}},
        {"the Click-here box", [](Pendro& p) { p.Click(kClickHere); },
         [](Pendro& p, const MessageBoxInfo& box) { p.Answer(box, IDOK); }, [] {}},
        {"the password dialog", [](Pendro& p) { p.Click(kPassword); },
         [](Pendro& p, const MessageBoxInfo& box) {
             SetDlgItemTextA(box.hwnd, 1004, "alpha-pw");
             p.Answer(box, IDOK);
         },
         [] {
             CString pw;
             bool none = false;
             EXPECT_TRUE(LoadProviderPassword("Alpha", pw, none));
             EXPECT_STREQ(pw, "alpha-pw");
             EXPECT_EQ(testutil::ReadValue(kPwdKey, "Beta").data, std::string("NULL", 5));
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        testutil::ResetSim();
        Entries({{"Alpha", "hang"}, {"Beta", "hang"}});
        Pendro p;
        ASSERT_TRUE(p.Window());
        p.Select("Alpha");
        row.open(p);
        MessageBoxInfo box = p.WaitMessageBox();
        ASSERT_TRUE(box.hwnd);
        EXPECT_EQ(RunToEnd("Beta"), 0u);
        p.Post(0x8001, 0, 0);  // and a request for Alpha before it: the last one wins
        p.Post(0x8001, 1, 0);
        Sleep(400);
        EXPECT_EQ(Count("RasDialA"), 0u);
        EXPECT_TRUE(IsWindow(box.hwnd));
        row.close(p, box);
        ASSERT_TRUE(WaitFor([&] { return Count("RasDialA") == 1; }));
        EXPECT_NE(Journal("RasDialA", 0).find("entry=\"Beta\""), std::string::npos) << Journal("RasDialA", 0);
        Sleep(300);
        EXPECT_EQ(Count("RasDialA"), 1u);
        row.check();
        p.Click(kCancel);
        ASSERT_TRUE(WaitFor([&] { return Idle(p); }));
    }
}

TEST_F(DialTest, ExistingConnectionIsOfferedForHangUp)
{
    Entries({{"Alpha", "hang"}});
    AddConnection("Elsewhere", "isdn", "ISDN Card 7", RASCS_Connected);
    Pendro p;
    Start(p, "Alpha");
    MessageBoxInfo box = p.WaitMessageBox();
    ASSERT_TRUE(box.hwnd);
    EXPECT_EQ(box.caption, "Kelvane Pendro!");
    EXPECT_EQ(box.text,
              "You are already connected over\r\nISDN Card 7.\r\n\r\nDialing is only possible after the current "
              "connection has been  terminated.\r\n\r\nDo you wish to terminate the current connection now?");
    EXPECT_EQ(box.buttons, (std::vector<int>{IDYES, IDNO}));
    EXPECT_EQ(box.defaultButton, IDNO);
    EXPECT_EQ(IconKind(box), static_cast<UINT>(MB_ICONQUESTION));
    p.Answer(box, IDNO);
    Sleep(300);
    EXPECT_TRUE(Idle(p));
    EXPECT_EQ(Count("RasDialA"), 0u);
    EXPECT_TRUE(p.Log().empty());

    p.Click(kDial);
    box = p.WaitMessageBox();
    ASSERT_TRUE(box.hwnd);
    p.Answer(box, IDYES);
    ASSERT_TRUE(WaitFor([&] { return Count("RasDialA") == 1; }));
    EXPECT_NE(Journal("RasHangUpA", 0).find("handle=\"1\""), std::string::npos);

    // A connection only being dialled raises no question.
    p.Click(kCancel);
    ASSERT_TRUE(WaitFor([&] { return Idle(p); }));
    AddConnection("Elsewhere", "isdn", "", RASCS_PortOpened);
    p.Click(kDial);
    ASSERT_TRUE(WaitFor([&] { return Count("RasDialA") == 2; }));
    EXPECT_TRUE(p.NoMessageBox(200));
}

TEST_F(DialTest, RefusedDialEndsTheRunWithItsText)
{
    Entries({{"Alpha", nullptr}});
    {
        rassim::Session s;
        s.state().faults["RasDialA"] = rassim::Fault{633, 0, 0, false};
        s.Commit();
    }
    Pendro p;
    Start(p, "Alpha");
    ASSERT_TRUE(WaitFor([&] { return p.LogLines().size() == 2; }));
    EXPECT_EQ(p.LogLines()[0], "Dial attempt 1/100:");
    EXPECT_EQ(p.LogLines()[1], "The port is already in use or is not configured for Remote Access dial out.");
    ASSERT_TRUE(WaitFor([&] { return Idle(p); }));
    Sleep(300);
    EXPECT_EQ(Count("RasDialA"), 1u);
    EXPECT_TRUE(p.NoMessageBox(100));
}

// Before Windows 2000, NT 4.0 and Windows 98 alike: no vault, and the dial
// parameters read at Dial are written back after a failure.
class BeforeWindows2000Test : public DialTest, public testing::WithParamInterface<const char*> {};
INSTANTIATE_TEST_SUITE_P(Versions, BeforeWindows2000Test, testing::Values("nt40", "win98"));

TEST_P(BeforeWindows2000Test, TheReadPasswordIsWrittenBack)
{
    SetWindowsVersion(GetParam());
    Entries({{"Alpha", "fail:676@10"}, {"Beta", "fail:676@10"}});
    Script("Alpha", "hang");
    Script("Beta", "hang");
    testutil::WriteValue(kKey, "DialEntryOK", REG_MULTI_SZ, testutil::Multi({"Alpha", "Beta"}));
    Pendro p;
    Start(p, "Alpha");
    ASSERT_TRUE(WaitFor([&] { return Count("RasDialA") == 2; }));
    EXPECT_EQ(Count("RasSetEntryDialParamsA"), 2u);  // user name, then password, whole parameters
    EXPECT_NE(Journal("RasSetEntryDialParamsA", 1).find("user=\"user\" password=\"secret\""), std::string::npos);
    EXPECT_EQ(Count("RasSetCredentialsA"), 0u);
    EXPECT_FALSE(p.Visible(kPassword));

    // The next run's entry whose user name cannot be read: nothing of the
    // last entry's login may be written back into it.
    p.Click(kCancel);
    ASSERT_TRUE(WaitFor([&] { return Idle(p); }));
    {
        rassim::Session s;
        auto& st = s.state();
        st.FindEntry("Beta")->user = "beta-login";
        st.faults["RasGetEntryDialParamsA"] = rassim::Fault{625, 1, 0, false};  // the run's first read
        s.Commit();
    }
    p.Select("Beta");
    p.Click(kDial);
    ASSERT_TRUE(WaitFor([&] { return Count("RasDialA") == 4; }));
    for (const std::string& line : testutil::JournalLines("RasSetEntryDialParamsA")) {
        if (line.find("entry=\"Beta\"") != std::string::npos) {
            EXPECT_EQ(line.find("user=\"user\""), std::string::npos) << line;
        }
    }
    {
        rassim::Session s;
        EXPECT_EQ(s.state().FindEntry("Beta")->user, "beta-login");
    }

    // And one whose password cannot be read: the entry keeps its own.
    p.Click(kCancel);
    ASSERT_TRUE(WaitFor([&] { return Idle(p); }));
    {
        rassim::Session s;
        s.state().FindEntry("Beta")->password = "beta-secret";
        s.state().FindEntry("Beta")->attemptsMade = 0;  // fails once again, then hangs
        s.state().faults["RasGetEntryDialParamsA"] = rassim::Fault{625, 2, 0, false};
        s.Commit();
    }
    p.Click(kDial);
    ASSERT_TRUE(WaitFor([&] { return Count("RasDialA") == 6; }));
    rassim::Session s;
    EXPECT_EQ(s.state().FindEntry("Beta")->password, "beta-secret");
}

// The prefix typed in reaches the number the service dials, before the
// entry's own number and with nothing between.
TEST_F(DialTest, PrefixReachesTheNumberDialled)
{
    Entries({{"Alpha", "0@10 hang"}});
    Pendro p;
    ASSERT_TRUE(p.Window());
    p.Select("Alpha");
    p.TypeInto(kPrefix, "0");
    p.Click(kDial);
    ASSERT_TRUE(WaitFor([&] { return Count("RasDialA") == 1; }));
    EXPECT_NE(Journal("RasDialA", 0).find("number=\"05550100\""), std::string::npos) << Journal("RasDialA", 0);
    p.Click(kCancel);
}

// The service releases the previous attempt's modem some time after the
// hang-up returns; a redial before that would fail with 633.
TEST_F(DialTest, RedialWaitsForTheReleaseOfTheDevice)
{
    Entries({{"Alpha", "0@10 fail:678@10"}});
    Script("Alpha", "0@10 hang");
    {
        rassim::Session s;
        s.state().hangupLatencyMs = 600;
        s.Commit();
    }
    testutil::WriteValue(kKey, "DialEntryOK", REG_SZ, std::string("Alpha", 6));
    Pendro p;
    Start(p, "Alpha");
    ASSERT_TRUE(WaitFor([&] { return Count("RasDialA") == 2; }));
    auto stamp = [](const std::string& line) { return std::strtoll(line.c_str(), nullptr, 10); };
    std::string hangup = Journal("RasHangUpA", 0), redial = Journal("RasDialA", 1);
    EXPECT_NE(redial.find("result=\"0\""), std::string::npos) << redial;
    EXPECT_GE(stamp(redial) - stamp(hangup), 600) << hangup << "\n" << redial;
    ASSERT_TRUE(WaitFor([&] { return p.LogLines().size() >= 2; }));
    EXPECT_EQ(p.LogLines()[1], "Previous error: There is no answer.");
    p.Click(kCancel);
    ASSERT_TRUE(WaitFor([&] { return Idle(p); }));

    // A release that never comes: the run ends once the wait for it is over,
    // and nothing is dialled on the port still held.
    {
        rassim::Session s;
        s.state().hangupLatencyMs = 1 << 30;
        s.state().FindEntry("Alpha")->scripts = {"0@10 fail:678@10"};
        s.Commit();
    }
    p.Click(kDial);
    ASSERT_TRUE(WaitFor([&] { return Count("RasHangUpA") == 3; }));
    DWORD start = GetTickCount();
    ASSERT_TRUE(WaitFor([&] { return Idle(p); }, 20000));
    EXPECT_LT(GetTickCount() - start, 12000u);
    EXPECT_EQ(p.LogLines().back(), "The connection could not be hung up. Aborting automated redial process.");
    EXPECT_EQ(Count("RasDialA"), 3u);
}

// A connection of the same entry still being set up, left by another
// program: no question, it is hung up and released before the dial.
TEST_F(DialTest, LeftoverConnectionOfTheEntryIsHungUpBeforeTheDial)
{
    Entries({{"Alpha", "0@10 hang"}});
    {
        rassim::Session s;
        s.state().hangupLatencyMs = 300;
        s.Commit();
    }
    uint32_t leftover = AddConnection("Alpha", "modem", "Modem of Alpha", RASCS_PortOpened);
    Pendro p;
    Start(p, "Alpha");
    ASSERT_TRUE(WaitFor([&] { return Count("RasDialA") == 1; }));
    EXPECT_TRUE(p.NoMessageBox(200));
    EXPECT_NE(Journal("RasHangUpA", 0).find("handle=\"" + std::to_string(leftover) + "\""), std::string::npos);
    EXPECT_NE(Journal("RasDialA", 0).find("result=\"0\""), std::string::npos) << Journal("RasDialA", 0);
    p.Click(kCancel);
    ASSERT_TRUE(WaitFor([&] { return Idle(p); }));
}

// Windows NT 4 sets the password with the dial parameters even when the
// entry has no user name: the one read at Dial is restored after a failure.
TEST_F(DialTest, BeforeWindows2000AnEntryWithoutUserNameGetsItsPasswordBack)
{
    SetWindowsVersion("nt40");
    Entries({{"Alpha", "0@10 fail:676@1500"}});
    Script("Alpha", "0@10 hang");
    {
        rassim::Session s;
        s.state().FindEntry("Alpha")->user.clear();
        s.Commit();
    }
    testutil::WriteValue(kKey, "DialEntryOK", REG_SZ, std::string("Alpha", 6));
    Pendro p;
    Start(p, "Alpha");
    ASSERT_TRUE(WaitFor([&] { return Count("RasDialA") == 1; }));
    {
        rassim::Session s;  // changed behind the program's back during the attempt
        s.state().FindEntry("Alpha")->password = "changed";
        s.Commit();
    }
    ASSERT_TRUE(WaitFor([&] { return Count("RasDialA") == 2; }));
    ASSERT_EQ(Count("RasSetEntryDialParamsA"), 2u);
    EXPECT_NE(Journal("RasSetEntryDialParamsA", 1).find("user=\"\" password=\"secret\""), std::string::npos)
        << Journal("RasSetEntryDialParamsA", 1);
    EXPECT_NE(Journal("RasDialA", 1).find("password=\"secret\""), std::string::npos) << Journal("RasDialA", 1);
    {
        rassim::Session s;
        EXPECT_EQ(s.state().FindEntry("Alpha")->password, "secret");
    }
    p.Click(kCancel);
    ASSERT_TRUE(WaitFor([&] { return Idle(p); }));
}

// Run once per language.
TEST_F(DialTest, LocalizedLogAndQuestion)
{
    const char* lc = std::getenv("LC_ALL");
    bool german = lc && std::string(lc).rfind("de_", 0) == 0;
    Entries({{"Alpha", "0@10 fail:676@10"}});
    Pendro p;
    Start(p, "Alpha");
    MessageBoxInfo box = p.WaitMessageBox();
    ASSERT_TRUE(box.hwnd);
    auto lines = p.LogLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], german ? "Anwahl, Versuch 1/100:" : "Dial attempt 1/100:");
    EXPECT_EQ(lines[1], german ? "\xD6" "ffne Anschluss..." : "Open port...");
    EXPECT_EQ(lines.back(), german ? "Fehler beim Verbindungsaufbau: The line is busy."
                                   : "Error during connection process: The line is busy.");
    EXPECT_EQ(box.text.substr(0, 20), german ? "Verbindungsaufbau ge" : "Connection failed.\n\n");
    p.Answer(box, IDYES);
    ASSERT_TRUE(WaitFor([&] { return p.LogLines().size() >= 2 && p.LogLines()[0].find("2/100") != std::string::npos; }));
    EXPECT_EQ(p.LogLines()[1], german ? "Voriger Fehler: The line is busy." : "Previous error: The line is busy.");
    box = p.WaitMessageBox();
    p.Answer(box, IDNO);
}

// The one run that really waits for the dial timeout, on the run's second
// attempt: the time is measured from that attempt's start.
TEST_F(DialTest, AttemptThatNeverFinishesTimesOutAfter120Seconds)
{
    Entries({{"Alpha", "0@10 fail:678@10"}});
    Script("Alpha", "0@10 hang");
    testutil::WriteValue(kKey, "DialEntryOK", REG_SZ, std::string("Alpha", 6));
    Pendro p;
    Start(p, "Alpha");
    ASSERT_TRUE(WaitFor([&] { return Count("RasDialA") == 2; }));
    DWORD start = GetTickCount();
    Sleep(115000);
    EXPECT_TRUE(p.Enabled(kCancel));  // still going 115 s into the second attempt
    ASSERT_TRUE(WaitFor([&] { return Idle(p); }, 20000));
    DWORD elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, 119000u);
    EXPECT_LE(elapsed, 122000u);
    EXPECT_EQ(p.LogLines().back(), "Error during connection process: Dial timeout exceeded.");
    EXPECT_EQ(Count("RasHangUpA"), 2u);
    EXPECT_EQ(Count("RasDialA"), 2u);  // no redial after a timeout
    EXPECT_EQ(Count("RasSetCredentialsA"), 1u);  // after the failure, not after the timeout
    EXPECT_TRUE(p.NoMessageBox(100));

    // The timeout cleared the failure before it: the next run shows none.
    p.Click(kDial);
    ASSERT_TRUE(WaitFor([&] { return Count("RasDialA") == 3; }));
    ASSERT_TRUE(WaitFor([&] { return p.LogLines().size() >= 2; }));
    EXPECT_EQ(p.LogLines()[0], "Dial attempt 1/100:");
    EXPECT_EQ(p.LogLines()[1], "Open port...");
    p.Click(kCancel);
}

}  // namespace
}  // namespace e2e
