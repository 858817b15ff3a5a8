// Provider passwords in the real program: the password dialog, the vault and
// the restore after every failed attempt (Windows-2000 mode, as Wine reports).
#include "fixture.h"
#include "vault/password_store.h"

namespace e2e {
namespace {

const char kNoPasswordQuestion[] =
    "You did not specify a password. Kelvane Pendro! thus assumes\r\nthat the corresponding internet provider does "
    "not need \r\na password.\r\n\r\nIs that correct?";

class VaultTest : public E2eTest {
protected:
    void SetUp() override
    {
        E2eTest::SetUp();
        Entries({{A().c_str(), "hang"}, {B().c_str(), "hang"}});
        testutil::DeleteKey(kPwdKey);  // no stored passwords: Dial asks
    }
    static void Type(HWND dlg, const char* password)
    {
        SendMessageA(GetDlgItem(dlg, 1004), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(password));
    }
    static void Press(HWND dlg, int id) { PostMessageA(GetDlgItem(dlg, id), BM_CLICK, 0, 0); }
    // What the user types lands in the password field, with no Tab first.
    static bool CaretInPassword(HWND dlg)
    {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        return GetGUIThreadInfo(GetWindowThreadProcessId(dlg, nullptr), &info) &&
               info.hwndFocus == GetDlgItem(dlg, 1004);
    }
    // The entries' names, double-byte in the code-page-932 pass.
    static std::string A() { return N("Alpha"); }
    static std::string B() { return N("Beta"); }
    static std::string Stored(const std::string& entry)
    {
        auto v = testutil::ReadValue(kPwdKey, entry.c_str());
        return v.exists ? std::string(v.data.c_str()) : "<absent>";
    }
    static std::string Dialled(size_t i)
    {
        auto lines = testutil::JournalLines("RasDialA");
        if (i >= lines.size()) return "<none>";
        size_t p = lines[i].find("password=\"") + 10;
        return lines[i].substr(p, lines[i].find('"', p) - p);
    }
};

TEST_F(VaultTest, DialAsksForAPasswordAndStoresItEncrypted)
{
    Pendro p;
    ASSERT_TRUE(p.Window());
    p.Select(A());
    p.Click(kDial);
    MessageBoxInfo dlg = WaitPasswordDialog(p);
    ASSERT_TRUE(dlg.hwnd);
    EXPECT_TRUE(WaitFor([&] { return CaretInPassword(dlg.hwnd); }));
    char text[512];
    GetDlgItemTextA(dlg.hwnd, 1003, text, sizeof text);
    EXPECT_EQ(text, A());
    GetDlgItemTextA(dlg.hwnd, 1014, text, sizeof text);
    EXPECT_EQ(std::string(text).find("Under certain conditions"), 0u);
    EXPECT_NE(std::string(text).find("restore it. Please remeber"), std::string::npos);
    Type(dlg.hwnd, " \t my secret\t ");
    Press(dlg.hwnd, IDOK);
    ASSERT_TRUE(WaitFor([&] { return Count("RasDialA") == 1; }));
    std::string hex = Stored(A());
    EXPECT_EQ(hex.size(), 32u);
    EXPECT_EQ(hex.find("secret"), std::string::npos);
    CString pw;
    bool none = false;
    ASSERT_TRUE(LoadProviderPassword(A().c_str(), pw, none));
    EXPECT_STREQ(pw, "my secret");  // blanks and tabs trimmed at both ends
    EXPECT_EQ(Stored(B()), "<absent>");
}

TEST_F(VaultTest, CancelInTheDialogMakesNoAttempt)
{
    Pendro p;
    ASSERT_TRUE(p.Window());
    p.Select(A());
    p.Click(kDial);
    MessageBoxInfo dlg = WaitPasswordDialog(p);
    ASSERT_TRUE(dlg.hwnd);
    Type(dlg.hwnd, "typed");
    Press(dlg.hwnd, IDCANCEL);
    ASSERT_TRUE(WaitFor([&] { return Idle(p); }));
    Sleep(300);
    EXPECT_EQ(Count("RasDialA"), 0u);
    EXPECT_EQ(Stored(A()), "<absent>");
}

TEST_F(VaultTest, EmptyOrBlankPasswordAsksFirst)
{
    Pendro p;
    ASSERT_TRUE(p.Window());
    p.Select(A());
    p.Click(kPassword);
    MessageBoxInfo dlg = WaitPasswordDialog(p);
    ASSERT_TRUE(dlg.hwnd);
    Type(dlg.hwnd, "   ");
    Press(dlg.hwnd, IDOK);
    MessageBoxInfo ask;
    ASSERT_TRUE(WaitFor([&] {
        ask = p.WaitMessageBox(200);
        return ask.hwnd && ask.hwnd != dlg.hwnd && !GetDlgItem(ask.hwnd, 1004);
    }));
    ask.text = [&] {
        char t[512];
        GetDlgItemTextA(ask.hwnd, 0xFFFF, t, sizeof t);
        return std::string(t);
    }();
    EXPECT_EQ(ask.text, kNoPasswordQuestion);
    EXPECT_EQ(IconKind(ask), static_cast<UINT>(MB_ICONQUESTION));
    PostMessageA(GetDlgItem(ask.hwnd, IDNO), BM_CLICK, 0, 0);  // No: the dialog stays open
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(ask.hwnd); }));
    EXPECT_TRUE(IsWindow(dlg.hwnd));
    EXPECT_EQ(Stored(A()), "<absent>");
    Press(dlg.hwnd, IDOK);
    ASSERT_TRUE(WaitFor([&] {
        ask = p.WaitMessageBox(200);
        return ask.hwnd && ask.hwnd != dlg.hwnd && !GetDlgItem(ask.hwnd, 1004);
    }));
    PostMessageA(GetDlgItem(ask.hwnd, IDYES), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(dlg.hwnd); }));
    // The store is written once the dialog has gone: wait for it.
    EXPECT_TRUE(WaitFor([&] { return Stored(A()).size() == 16; })) << Stored(A());  // encrypted empty password

    // Ticked, with text or with the field empty, the question is never asked
    // and "NULL" is stored.
    for (const char* typed : {"ignored", ""}) {
        SCOPED_TRACE(typed);
        // The last save deletes stale names after the value appears: let it end.
        SendMessageTimeoutA(p.Window(), WM_NULL, 0, 0, SMTO_NORMAL, 5000, nullptr);
        testutil::DeleteKey(kPwdKey);
        p.Click(kPassword);
        dlg = WaitPasswordDialog(p);
        ASSERT_TRUE(dlg.hwnd);
        Type(dlg.hwnd, typed);
        Press(dlg.hwnd, 1011);
        Press(dlg.hwnd, IDOK);
        ASSERT_TRUE(WaitFor([&] { return !IsWindow(dlg.hwnd); }));
        EXPECT_TRUE(p.NoMessageBox(300));
        EXPECT_TRUE(WaitFor([&] { return Stored(A()) == "NULL"; }));
    }
}

// A second start naming another entry while Dial's password dialog is open:
// the request is ignored, the password goes to the entry the dialog was opened
// for, and exactly one run dials.
TEST_F(VaultTest, DialRequestDuringThePasswordDialogIsIgnored)
{
    ASSERT_TRUE(SaveProviderPassword(B().c_str(), "beta-pw", false));
    const std::string beta = Stored(B());
    Pendro p;
    ASSERT_TRUE(p.Window());
    p.Select(A());
    p.Click(kDial);
    MessageBoxInfo dlg = WaitPasswordDialog(p);
    ASSERT_TRUE(dlg.hwnd);
    EXPECT_EQ(RunToEnd(B()), 0u);
    Sleep(500);  // the request is taken in by the dialog's modal loop
    EXPECT_EQ(Count("RasDialA"), 0u);
    Type(dlg.hwnd, "alpha-pw");
    Press(dlg.hwnd, IDOK);
    ASSERT_TRUE(WaitFor([&] { return Count("RasDialA") == 1; }));
    Sleep(500);
    auto dials = testutil::JournalLines("RasDialA");
    ASSERT_EQ(dials.size(), 1u);
    EXPECT_NE(dials[0].find("entry=" + rassim::Quote(A())), std::string::npos) << dials[0];
    EXPECT_EQ(Stored(B()), beta);
    CString pw;
    bool none = false;
    ASSERT_TRUE(LoadProviderPassword(A().c_str(), pw, none));
    EXPECT_STREQ(pw, "alpha-pw");
    EXPECT_EQ(p.SelectedEntry(), A());
}

TEST_F(VaultTest, PasswordWithoutProviderShowsTheError)
{
    rassim::ResetAll();
    Pendro p;
    ASSERT_TRUE(p.Window());
    p.Click(kPassword);
    MessageBoxInfo box = p.WaitMessageBox();
    ASSERT_TRUE(box.hwnd);
    EXPECT_EQ(box.caption, "Error");
    EXPECT_EQ(box.text, "You must first select a provider for which a password is to be specified.");
    EXPECT_EQ(IconKind(box), static_cast<UINT>(MB_ICONSTOP));
    EXPECT_FALSE(GetDlgItem(box.hwnd, 1004));
}

// Three passwords given one after another with the Password button, then a
// run whose failures make the service forget the password: each attempt
// dials with the restored one, and the others stay as they were stored.
TEST_F(VaultTest, RestoredPasswordDialsEveryAttempt)
{
    const std::string gamma = N("Gamma");
    Entries({{gamma.c_str(), "hang"}});
    testutil::DeleteKey(kPwdKey);
    {
        rassim::Session s;
        s.state().deletePasswordOnFailure = true;  // the Windows 2000 fault
        auto* e = s.state().FindEntry(A());
        e->password = "right";
        e->acceptPassword = "right";
        e->checkPassword = true;
        e->scripts = {"std@5 fail:678@5", "std@5 fail:678@5", "std@5 connected@5"};
        s.Commit();
    }
    testutil::WriteValue(kKey, "DialEntryOK", REG_SZ, A() + '\0');
    Pendro p;
    ASSERT_TRUE(p.Window());
    for (const auto& [entry, password] : {std::pair{A(), "right"}, {B(), "other"}, {gamma, "third"}}) {
        SCOPED_TRACE(entry);
        p.Select(entry);
        p.Click(kPassword);
        MessageBoxInfo dlg = WaitPasswordDialog(p);
        ASSERT_TRUE(dlg.hwnd);
        EXPECT_TRUE(WaitFor([&] { return CaretInPassword(dlg.hwnd); }));
        Type(dlg.hwnd, password);
        Press(dlg.hwnd, IDOK);
        ASSERT_TRUE(WaitFor([&] { return !IsWindow(dlg.hwnd); }));
        EXPECT_TRUE(p.NoMessageBox(300));  // no "could not be saved"
        CString pw;
        bool none = false;
        ASSERT_TRUE(WaitFor([&] { return LoadProviderPassword(entry.c_str(), pw, none); }));
        EXPECT_STREQ(pw, password);
    }
    std::string beta = Stored(B()), third = Stored(gamma);
    p.Select(A());
    p.Click(kDial);
    EXPECT_EQ(p.WaitExit(30000), 0u);  // connected at the third attempt
    ASSERT_EQ(Count("RasDialA"), 3u);
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(Dialled(i), "right") << "attempt " << i + 1;
    auto creds = testutil::JournalLines("RasSetCredentialsA");
    ASSERT_EQ(creds.size(), 4u);  // user name, then password, after each failure
    EXPECT_NE(creds[1].find("mask=\"0x2\" password=\"right\""), std::string::npos);
    EXPECT_EQ(Stored(B()), beta);
    EXPECT_EQ(Stored(gamma), third);
}

// Names stored by another spelling of the entry, in a letter case that only
// the code page folds: the vault, the remembered entry and the entries that
// connected serve it, and its next password replaces the stored one.
TEST_F(VaultTest, NamesStoredInAnotherLetterCaseServeTheEntry)
{
    const auto [entry, stored] = CasePair();
    Entries({{entry.c_str(), "hang"}});
    testutil::DeleteKey(kPwdKey);
    {
        rassim::Session s;
        s.state().deletePasswordOnFailure = true;
        auto* e = s.state().FindEntry(entry);
        e->password = e->acceptPassword = "right";
        e->checkPassword = true;
        e->scripts = {"std@5 fail:678@5", "std@5 fail:678@5", "std@5 connected@5"};
        s.Commit();
    }
    ASSERT_TRUE(SaveProviderPassword(stored.c_str(), "right", false));
    testutil::WriteValue(kKey, "DefaultEntry", REG_SZ, stored + '\0');
    testutil::WriteValue(kKey, "DialEntryOK", REG_SZ, stored + '\0');
    {
        Pendro p;
        ASSERT_TRUE(p.Window());
        EXPECT_EQ(p.SelectedEntry(), entry);
        p.Click(kDial);
        EXPECT_EQ(p.WaitExit(30000), 0u);  // no password dialog, no redial question
    }
    ASSERT_EQ(Count("RasDialA"), 3u);
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(Dialled(i), "right") << "attempt " << i + 1;
    EXPECT_EQ(testutil::ReadValue(kKey, "DialEntryOK").data, stored + '\0');  // not recorded twice
    ASSERT_TRUE(SaveProviderPassword(entry.c_str(), "newer", false));
    EXPECT_EQ(testutil::ValueNames(kPwdKey).size(), 1u);
    CString pw;
    bool none = false;
    ASSERT_TRUE(LoadProviderPassword(stored.c_str(), pw, none));
    EXPECT_STREQ(pw, "newer");
}

TEST_F(VaultTest, NoPasswordMarkerStopsDialogAndRestore)
{
    testutil::WriteValue(kPwdKey, A().c_str(), REG_SZ, std::string("NULL", 5));
    Script(A().c_str(), "fail:678@5");  // the scripts so far: "hang", then this one
    {
        rassim::Session s;
        s.state().FindEntry(A())->scripts = {"fail:678@5", "0@5 hang"};
        s.Commit();
    }
    testutil::WriteValue(kKey, "DialEntryOK", REG_SZ, A() + '\0');
    Pendro p;
    ASSERT_TRUE(p.Window());
    p.Select(A());
    p.Click(kDial);
    ASSERT_TRUE(WaitFor([&] { return Count("RasDialA") == 2; }));
    auto creds = testutil::JournalLines("RasSetCredentialsA");
    ASSERT_EQ(creds.size(), 1u);  // the user name only
    EXPECT_NE(creds[0].find("mask=\"0x1\""), std::string::npos);
}

// A stored password that cannot be restored after a failure (the service
// refuses it, or the stored value no longer reads) ends the run, instead of a
// redial that is certain to be refused.
TEST_F(VaultTest, RestoreThatCannotBeDoneEndsTheRun)
{
    testutil::WriteValue(kKey, "DialEntryOK", REG_SZ, A() + '\0');
    for (bool refused : {true, false}) {
        SCOPED_TRACE(refused ? "restore refused" : "stored value damaged");
        testutil::ResetSim();
        Entries({{A().c_str(), "std@5 fail:678@400"}});
        ASSERT_TRUE(SaveProviderPassword(A().c_str(), "right", false));
        if (refused) {
            rassim::Session s;
            s.state().faults["RasSetCredentialsA"] = rassim::Fault{ERROR_ACCESS_DENIED, 2, 0, false};
            s.Commit();
        }
        Pendro p;
        ASSERT_TRUE(p.Window());
        p.Select(A());
        p.Click(kDial);
        ASSERT_TRUE(WaitFor([&] { return Count("RasDialA") == 1; }));
        if (!refused) testutil::WriteValue(kPwdKey, A().c_str(), REG_SZ, std::string("00112233445566778", 18));
        ASSERT_TRUE(WaitFor([&] { return Idle(p); }));
        EXPECT_TRUE(p.NoMessageBox(300));
        EXPECT_EQ(p.LogLines().back(), "Error during connection process!");
        EXPECT_EQ(Count("RasDialA"), 1u);
        p.Click(kQuit);
        EXPECT_EQ(p.WaitExit(), 0u);
    }
}

TEST_F(VaultTest, DamagedStoredValueMakesDialAskAgain)
{
    testutil::WriteValue(kPwdKey, A().c_str(), REG_SZ, std::string("00112233445566778", 18));
    Pendro p;
    ASSERT_TRUE(p.Window());
    p.Select(A());
    p.Click(kDial);
    MessageBoxInfo dlg = WaitPasswordDialog(p);
    ASSERT_TRUE(dlg.hwnd);
    Press(dlg.hwnd, IDCANCEL);
}

TEST_F(VaultTest, FailedSaveShowsTheErrorAndDialingGoesOn)
{
    // A volatile parent key refuses a lasting subkey, so the store cannot be written.
    testutil::DeleteKey("Software\\Kelvane");
    HKEY k;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Kelvane", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                              nullptr, &k, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(k);
    Pendro p;
    ASSERT_TRUE(p.Window());
    p.Select(A());
    p.Click(kDial);
    MessageBoxInfo dlg = WaitPasswordDialog(p);
    ASSERT_TRUE(dlg.hwnd);
    Type(dlg.hwnd, "secret");
    Press(dlg.hwnd, IDOK);
    MessageBoxInfo err;
    ASSERT_TRUE(WaitFor([&] {
        err = p.WaitMessageBox(200);
        return err.hwnd && err.hwnd != dlg.hwnd && !GetDlgItem(err.hwnd, 1004);
    }));
    char t[256];
    GetDlgItemTextA(err.hwnd, 0xFFFF, t, sizeof t);
    EXPECT_STREQ(t, "The password could not be encrypted or saved.");
    EXPECT_EQ(IconKind(err), static_cast<UINT>(MB_ICONSTOP));
    PostMessageA(GetDlgItem(err.hwnd, IDOK), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitFor([&] { return Count("RasDialA") == 1; }));
}

}  // namespace
}  // namespace e2e
