// The framework layer: strings, data exchange, message-map dispatch, modal
// results and the command line.
#include <gtest/gtest.h>

#include <malloc.h>

#include <new>
#include <string>

#include "afxwin.h"
#include "mbcs.h"
#include "app/command_line.h"
#include "test_util.h"

namespace {

TEST(CStringTest, FormatTrimAndEditing)
{
    CString s;
    s.Format("Dial attempt %d/%d:", 7, 100);
    EXPECT_STREQ(s, "Dial attempt 7/100:");
    s.Format(" (0x%08x)", 0x2a);
    EXPECT_STREQ(s, " (0x0000002a)");

    CString padded(" \t pass word\t \r\n");
    padded.TrimLeft();
    padded.TrimRight();
    EXPECT_STREQ(padded, "pass word");

    CString blank("   ");
    blank.TrimLeft();
    EXPECT_TRUE(blank.IsEmpty());

    CString name("a<b>c|d/e\"f\\g");
    for (int i; (i = name.FindOneOf("<>|/\"\\")) >= 0;) name.Delete(i);
    EXPECT_STREQ(name, "abcdefg");

    CString secret("hunter2");
    secret.Blank();
    EXPECT_STREQ(secret, "       ");
    EXPECT_EQ(secret.GetLength(), 7);

    CString self("abcdef");
    self = self.c_str() + 2;  // assignment from inside its own buffer
    EXPECT_STREQ(self, "cdef");
    self += self;
    EXPECT_STREQ(self, "cdefcdef");
    EXPECT_EQ(CString("Ab").CompareNoCase("aB"), 0);
    EXPECT_NE(CString("Ab").Compare("aB"), 0);
}

// Names match as the registry matches them, in the code page of the pass
// (1252, 1251, 932; a row it cannot hold is skipped), by both ways of the rule.
TEST(CStringTest, NamesMatchAsTheRegistryMatchesThem)
{
    const struct {
        const char *a, *b;
        bool same;
    } rows[] = {
        {"Ab", "aB", true},     {"Äpfel", "äpfel", true}, {"ÿ", "Ÿ", true},          {"Дом", "дом", true},
        {"Ёж", "ёж", true},     {"Ω", "ω", true},         {"ＡＢ回線", "ａｂ回線", true}, {"ß", "ss", false},
        {"æ", "ae", false},     {"é", "e", false},        {"ア回線", "ャ回線", false},   {"Ж", "Ш", false},
    };
    const char kTest[] = "Software\\PendroTest";
    int tried = 0;
    for (const auto& row : rows) {
        std::string a, b;
        if (!testutil::InCodePage(row.a, a) || !testutil::InCodePage(row.b, b)) continue;
        SCOPED_TRACE(row.a + std::string(" / ") + row.b);
        ++tried;
        EXPECT_EQ(CString(a.c_str()).CompareNoCase(b.c_str()) == 0, row.same);
        EXPECT_EQ(CompareNamesByUpcase(a.c_str(), b.c_str()) == 0, row.same);
        testutil::DeleteKey(kTest);  // the registry's own answer
        for (const std::string& name : {a, b}) testutil::WriteValue(kTest, name.c_str(), REG_SZ, std::string("1", 2));
        EXPECT_EQ(testutil::ValueNames(kTest).size(), row.same ? 1u : 2u);
    }
    testutil::DeleteKey(kTest);
    EXPECT_GE(tried, 4);
}

TEST(CStringTest, LongFormatsAndBuffers)
{
    std::string big(100000, 'x');
    CString s;
    s.Format("%s!", big.c_str());
    EXPECT_EQ(s.GetLength(), 100001);
    char* buf = s.GetBuffer(10);
    buf[3] = 0;
    s.ReleaseBuffer();
    EXPECT_EQ(s.GetLength(), 3);
}

// Every block a string gives back to the heap is looked at as it goes: one
// that held a password must hold nothing any more.
void(__cdecl* g_realFree)(void*);
const void* g_watched;
int g_watchedFrees, g_watchedDirty;
void __cdecl CheckedFree(void* p)
{
    if (p && p == g_watched) {
        ++g_watchedFrees;
        const auto* b = static_cast<const unsigned char*>(p);
        for (size_t i = 0, n = _msize(p); i < n; ++i)
            if (b[i]) ++g_watchedDirty;
    }
    g_realFree(p);
}

TEST(CStringTest, WipesWhatItReleases)
{
    testutil::ImportHook hook("msvcrt.dll", "free", &CheckedFree, &g_realFree);
    ASSERT_TRUE(hook.Installed());
    const std::string longer(300, 'L');
    struct Release {
        const char* how;
        void (*release)(CString& s, const std::string& longer);
    };
    for (Release r : {Release{"destroyed", [](CString& s, const std::string&) { s.~CString(); new (&s) CString; }},
                      Release{"emptied", [](CString& s, const std::string&) { s.Empty(); }},
                      Release{"grown", [](CString& s, const std::string& l) { s += l.c_str(); }},
                      Release{"reassigned longer", [](CString& s, const std::string& l) { s = l.c_str(); }},
                      Release{"formatted", [](CString& s, const std::string& l) { s.Format("%s", l.c_str()); }},
                      Release{"moved over", [](CString& s, const std::string&) { s = CString("other"); }}}) {
        SCOPED_TRACE(r.how);
        g_watchedFrees = g_watchedDirty = 0;
        CString s("hunter2-secret");
        g_watched = s.c_str();
        r.release(s, longer);
        g_watched = nullptr;
        EXPECT_EQ(g_watchedFrees, 1);
        EXPECT_EQ(g_watchedDirty, 0);
    }
    // Shrunk in place: what lies past the new end is wiped as well.
    CString s("hunter2-secret");
    const char* buffer = s.c_str();
    s = "pin";
    ASSERT_EQ(s.c_str(), buffer);
    EXPECT_EQ(std::string(buffer + 4, 11), std::string(11, '\0'));
    CString t("secret   ");
    t.TrimRight();
    EXPECT_EQ(std::string(t.c_str() + 6, 3), std::string(3, '\0'));
}

TEST(CStringTest, LoadStringReportsMissingStrings)
{
    CString s("keep");
    EXPECT_FALSE(s.LoadString(4321));
    EXPECT_TRUE(s.IsEmpty());
    EXPECT_TRUE(s.LoadString(102));
    EXPECT_STREQ(s, "Kelvane Pendro!");
}

class CTestDlg : public CDialog {
public:
    CTestDlg() : CDialog(900) {}
    CString m_text = "initial";
    int m_sel = 1;
    int m_check = 1;
    int m_presses = 0;
    int m_others = 0;
    bool m_autoClose = false;
    UINT m_closeWith = IDOK;
    int m_paints = 0;

protected:
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        if (m_autoClose) PostMessage(WM_COMMAND, MAKEWPARAM(m_closeWith, BN_CLICKED), 0);
        return TRUE;
    }
    void DoDataExchange(CDataExchange* pDX) override
    {
        DDX_Text(pDX, 901, m_text);
        DDX_CBIndex(pDX, 902, m_sel);
        DDX_Check(pDX, 903, m_check);
    }
    void OnPress() { ++m_presses; }
    void OnOther() { ++m_others; }
    void OnPaint()
    {
        ++m_paints;
        Default();
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CTestDlg, CDialog)
    ON_BN_CLICKED(904, OnPress)
    ON_BN_CLICKED(905, OnOther)
    ON_WM_PAINT()
END_MESSAGE_MAP()

void Pump()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

TEST(DialogTest, DataExchangeBothWays)
{
    CTestDlg dlg;
    ASSERT_TRUE(dlg.Create(900));
    HWND combo = GetDlgItem(dlg.m_hWnd, 902);
    SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("zero"));
    SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("one"));
    dlg.UpdateData(FALSE);
    char text[64];
    GetDlgItemTextA(dlg.m_hWnd, 901, text, sizeof text);
    EXPECT_STREQ(text, "initial");
    EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(IsDlgButtonChecked(dlg.m_hWnd, 903), BST_CHECKED);

    SetDlgItemTextA(dlg.m_hWnd, 901, "typed by the user");
    SendMessageA(combo, CB_SETCURSEL, 0, 0);
    CheckDlgButton(dlg.m_hWnd, 903, BST_UNCHECKED);
    dlg.UpdateData(TRUE);
    EXPECT_STREQ(dlg.m_text, "typed by the user");
    EXPECT_EQ(dlg.m_sel, 0);
    EXPECT_EQ(dlg.m_check, 0);

    SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    dlg.UpdateData(TRUE);
    EXPECT_EQ(dlg.m_sel, -1);
    dlg.DestroyWindow();
}

TEST(DialogTest, ClicksReachTheirOwnHandlers)
{
    CTestDlg dlg;
    ASSERT_TRUE(dlg.Create(900));
    SendMessageA(GetDlgItem(dlg.m_hWnd, 904), BM_CLICK, 0, 0);
    SendMessageA(GetDlgItem(dlg.m_hWnd, 904), BM_CLICK, 0, 0);
    SendMessageA(GetDlgItem(dlg.m_hWnd, 905), BM_CLICK, 0, 0);
    EXPECT_EQ(dlg.m_presses, 2);
    EXPECT_EQ(dlg.m_others, 1);
    // A notification other than a click does not count as one.
    SendMessageA(dlg.m_hWnd, WM_COMMAND, MAKEWPARAM(904, BN_SETFOCUS), 0);
    EXPECT_EQ(dlg.m_presses, 2);
    // Painting goes through the handler and then the dialog's own painting.
    ShowWindow(dlg.m_hWnd, SW_SHOW);
    InvalidateRect(dlg.m_hWnd, nullptr, TRUE);
    UpdateWindow(dlg.m_hWnd);
    EXPECT_GE(dlg.m_paints, 1);
    EXPECT_FALSE(GetUpdateRect(dlg.m_hWnd, nullptr, FALSE));  // the default validated it
    dlg.DestroyWindow();
    Pump();
}

TEST(DialogTest, ModalResultIsTheButtonPressed)
{
    CTestDlg ok;
    ok.m_autoClose = true;
    ok.m_closeWith = IDOK;
    ok.m_text = "x";
    EXPECT_EQ(ok.DoModal(), IDOK);
    CTestDlg cancel;
    cancel.m_autoClose = true;
    cancel.m_closeWith = IDCANCEL;
    EXPECT_EQ(cancel.DoModal(), IDCANCEL);
}

TEST(CommandLineTest, SwitchesAndEntryNames)
{
    testutil::ResetSim();
    {
        rassim::Session s;
        testutil::AddEntry(s.state(), "Demo Online");
        testutil::AddEntry(s.state(), "2000");
        testutil::AddEntry(s.state(), "Other Provider");
        s.Commit();
    }
    CWinApp app;
    char prog[] = "Pendro.exe", a1[] = "/2000", a2[] = "demo online", a3[] = "-2001", a4[] = "nothing";
    char* argv[] = {prog, a1, a2, a3, a4};
    app.m_argc = 5;
    app.m_argv = argv;
    CDialerCommandLineInfo info;
    app.ParseCommandLine(info);
    EXPECT_TRUE(info.m_bWin2000Switch);
    EXPECT_STREQ(info.m_strEntryName, "demo online");  // as typed
    EXPECT_EQ(info.m_nEntryIndex, 0);

    char b1[] = "2000", b2[] = "-2000x", b3[] = "Other Provider";
    char* argv2[] = {prog, b1, b2};
    app.m_argc = 3;
    app.m_argv = argv2;
    CDialerCommandLineInfo plain;
    app.ParseCommandLine(plain);
    EXPECT_FALSE(plain.m_bWin2000Switch);  // a bare 2000 is an entry name
    EXPECT_EQ(plain.m_nEntryIndex, 1);

    char* argv3[] = {prog, a2, b3};  // the later match wins
    app.m_argc = 3;
    app.m_argv = argv3;
    CDialerCommandLineInfo twice;
    app.ParseCommandLine(twice);
    EXPECT_STREQ(twice.m_strEntryName, "Other Provider");
    EXPECT_EQ(twice.m_nEntryIndex, 2);
}

}  // namespace
