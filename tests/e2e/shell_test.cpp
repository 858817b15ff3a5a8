// Desktop shortcuts, the promotional panel and the About box of the real program.
#include <shlobj.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "fixture.h"

namespace e2e {
namespace {

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

class ShortcutTest : public E2eTest {
protected:
    void SetUp() override
    {
        E2eTest::SetUp();
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA((DesktopDir() + "\\*.lnk").c_str(), &fd);
        if (h != INVALID_HANDLE_VALUE) {
            do DeleteFileA((DesktopDir() + "\\" + fd.cFileName).c_str());
            while (FindNextFileA(h, &fd));
            FindClose(h);
        }
    }
    // Records what an independent reader of the link format must find in it.
    // Keeps a copy of the link and records what an independent reader of the
    // link format must find in it (scripts/check-links.sh reads both).
    static void Expect(const std::string& link, const std::string& args)
    {
        const char* out = std::getenv("PENDRO_LINK_EXPECTATIONS");
        if (!out) return;
        static int n = 0;
        std::string copy = std::string(out) + "." + std::to_string(++n) + ".lnk";
        // The link is there before the program has finished writing it: wait
        // until it holds at least its header and has stopped growing.
        std::string path = DesktopDir() + "\\" + link;
        DWORD last = 0;
        WaitFor([&] {
            WIN32_FILE_ATTRIBUTE_DATA data;
            DWORD size = GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ? data.nFileSizeLow : 0;
            bool settled = size >= 0x4C && size == last;
            last = size;
            if (!settled) Sleep(100);
            return settled;
        });
        CopyFileA(path.c_str(), testutil::WinPath(copy).c_str(), FALSE);
        std::string exe = PendroPath();
        std::ofstream f(testutil::WinPath(out), std::ios::app | std::ios::binary);
        f << copy << "\x1f" << exe << "\x1f" << args << "\x1f" << exe.substr(0, exe.find_last_of('\\') + 1) << "\n";
    }
    static std::string Link(const std::string& name) { return DesktopDir() + "\\" + name + ".lnk"; }
};

// Also as Windows 98, which makes the link through the ANSI functions.
TEST_F(ShortcutTest, WithoutAnEntryNoQuestionAndNoArguments)
{
    for (const char* version : {"win98", static_cast<const char*>(nullptr)}) {
        SCOPED_TRACE(version ? version : "default");
        SetWindowsVersion(version);
        DeleteFileA(Link("Kelvane Pendro!").c_str());
        Pendro p;
        ASSERT_TRUE(p.Window());
        p.Click(kShortcut);
        ASSERT_TRUE(WaitFor([&] { return Exists(Link("Kelvane Pendro!")); }));
        EXPECT_TRUE(p.NoMessageBox(300));
        Expect("Kelvane Pendro!.lnk", "");
    }
}

TEST_F(ShortcutTest, QuestionNamesTheEntryAsItIs)
{
    const std::string name = N("Net \"Fast\" & 50%s!"), link = "Kelvane Pendro! to " + N("Net Fast & 50%s!");
    Entries({{name.c_str(), nullptr}});
    Pendro p;
    ASSERT_TRUE(p.Window());
    p.Click(kShortcut);
    MessageBoxInfo box = p.WaitMessageBox();
    ASSERT_TRUE(box.hwnd);
    EXPECT_EQ(box.caption, "Kelvane Pendro!");
    EXPECT_EQ(box.buttons, (std::vector<int>{IDCANCEL, IDYES, IDNO}));
    EXPECT_EQ(IconKind(box), static_cast<UINT>(MB_ICONQUESTION));
    EXPECT_NE(box.text.find("\r\n\"" + name + "\"?\r\n"), std::string::npos) << box.text;
    p.Answer(box, IDYES);
    ASSERT_TRUE(WaitFor([&] { return Exists(Link(link)); }));
    Expect(link + ".lnk", "\"" + N("Net \\\"Fast\\\" & 50%s!") + "\"");
    EXPECT_TRUE(p.NoMessageBox(300));
}

TEST_F(ShortcutTest, NamesArgumentsAndReplacement)
{
    Entries({{"My Net \"Fast\" 1", nullptr}});
    Pendro p;
    ASSERT_TRUE(p.Window());
    p.Click(kShortcut);
    MessageBoxInfo box = p.WaitMessageBox();
    ASSERT_TRUE(box.hwnd);
    p.Answer(box, IDYES);
    std::string link = Link("Kelvane Pendro! to My Net Fast 1");
    ASSERT_TRUE(WaitFor([&] { return Exists(link); }));
    Expect("Kelvane Pendro! to My Net Fast 1.lnk", "\"My Net \\\"Fast\\\" 1\"");

    p.Click(kShortcut);
    box = p.WaitMessageBox();
    p.Answer(box, IDCANCEL);
    EXPECT_TRUE(p.NoMessageBox(300));
    EXPECT_FALSE(Exists(Link("Kelvane Pendro!")));

    p.Click(kShortcut);
    box = p.WaitMessageBox();
    p.Answer(box, IDNO);
    ASSERT_TRUE(WaitFor([&] { return Exists(Link("Kelvane Pendro!")); }));
    Expect("Kelvane Pendro!.lnk", "");
    // The same link again replaces the first without a question.
    DeleteFileA(link.c_str());
    std::FILE* f = std::fopen(Link("Kelvane Pendro!").c_str(), "wb");
    std::fputs("not a link", f);
    std::fclose(f);
    p.Click(kShortcut);
    box = p.WaitMessageBox();
    p.Answer(box, IDNO);
    EXPECT_TRUE(WaitFor([&] {
        WIN32_FILE_ATTRIBUTE_DATA a;
        return GetFileAttributesExA(Link("Kelvane Pendro!").c_str(), GetFileExInfoStandard, &a) &&
               a.nFileSizeLow > 20;
    }));
    EXPECT_TRUE(p.NoMessageBox(300));
}

// No character of a real entry name is refused by the file system once the
// quotes are gone, but the longest name makes too long a link path.
TEST_F(ShortcutTest, LongestEntryNameMakesNoLink)
{
    const std::string name(256, 'n');
    Entries({{name.c_str(), nullptr}});
    Pendro p;
    ASSERT_TRUE(p.Window());
    p.Click(kShortcut);
    MessageBoxInfo box = p.WaitMessageBox();
    p.Answer(box, IDYES);
    box = p.WaitMessageBox();
    ASSERT_TRUE(box.hwnd);
    EXPECT_EQ(box.text, "Creation of desktop shortcut failed!");
    EXPECT_EQ(IconKind(box), static_cast<UINT>(MB_ICONSTOP));
    p.Answer(box, IDOK);
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((DesktopDir() + "\\*.lnk").c_str(), &fd);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    if (h != INVALID_HANDLE_VALUE) FindClose(h);
}

// The desktop folder, moved for one test and put back whatever happens.
class DesktopFolder {
public:
    // Wide, as a folder's name need not fit the ANSI code page.
    explicit DesktopFolder(const std::wstring& path) : m_saved(testutil::ReadValue(kKeyPath, "Desktop"))
    {
        SHSetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                    L"Desktop", REG_EXPAND_SZ, path.c_str(), static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
    }
    ~DesktopFolder()
    {
        if (m_saved.exists) testutil::WriteValue(kKeyPath, "Desktop", m_saved.type, m_saved.data);
        else SHDeleteValueA(HKEY_CURRENT_USER, kKeyPath, "Desktop");
    }
    DesktopFolder(const DesktopFolder&) = delete;
    DesktopFolder& operator=(const DesktopFolder&) = delete;

private:
    static constexpr const char* kKeyPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    testutil::RegValue m_saved;
};

// A link path of 260 bytes with its NUL fits; one more does not, and nothing
// is written.
TEST_F(ShortcutTest, DesktopPathAtTheLimit)
{
    for (size_t length : {239u, 240u}) {
        SCOPED_TRACE(length);
        std::string deep = "C:\\deep";
        CreateDirectoryA(deep.c_str(), nullptr);
        while (deep.size() + 21 <= length) {
            deep += "\\" + std::string(20, 'd');
            CreateDirectoryA(deep.c_str(), nullptr);
        }
        deep += "\\" + std::string(length - deep.size() - 1, length == 239 ? 'f' : 'e');
        ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
        ASSERT_EQ(deep.size(), length);
        const std::string link = deep + "\\Kelvane Pendro!.lnk";  // folder, backslash, 15 + 4
        {
            DesktopFolder moved(std::wstring(deep.begin(), deep.end()));
            ASSERT_EQ(DesktopDir(), deep);
            Pendro p;
            ASSERT_TRUE(p.Window());
            p.Click(kShortcut);
            if (length == 239) {
                ASSERT_EQ(link.size() + 1, 260u);
                EXPECT_TRUE(WaitFor([&] { return Exists(link); }));
                EXPECT_TRUE(p.NoMessageBox(300));
            } else {
                MessageBoxInfo box = p.WaitMessageBox();
                ASSERT_TRUE(box.hwnd);
                EXPECT_EQ(box.text, "Creation of desktop shortcut failed!");
                p.Answer(box, IDOK);
            }
            p.Click(kQuit);
            p.WaitExit();
        }
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA((deep + "\\*.lnk").c_str(), &fd);
        EXPECT_EQ(h != INVALID_HANDLE_VALUE, length == 239);
        if (h != INVALID_HANDLE_VALUE) FindClose(h);
        DeleteFileA(link.c_str());
    }
}

// Also for an entry whose name holds quotes: the link's argument is escaped
// as the runtime's parser reads it, so it names that entry whole.
TEST_F(ShortcutTest, TheLinkStartsTheProgramAndDials)
{
    struct Row {
        std::string entry, argument;
    };
    for (const Row& row : {Row{N("Alpha"), "\"" + N("Alpha") + "\""},
                           Row{N("My \"Best\" ISP"), "\"" + N("My \\\"Best\\\" ISP") + "\""}}) {
        const std::string& entry = row.entry;
        SCOPED_TRACE(entry);
        testutil::ResetSim();
        const std::string name = "Kelvane Pendro! to " + N(entry == N("Alpha") ? "Alpha" : "My Best ISP");
        Entries({{entry.c_str(), "hang"}, {"My", nullptr}});
        {
            Pendro p;
            ASSERT_TRUE(p.Window());
            p.Select(entry);
            p.Click(kShortcut);
            MessageBoxInfo box = p.WaitMessageBox();
            p.Answer(box, IDYES);
            ASSERT_TRUE(WaitFor([&] { return Exists(Link(name)); }));
            p.Click(kQuit);
            EXPECT_EQ(p.WaitExit(), 0u);
        }
        Expect(name + ".lnk", row.argument);
        SHELLEXECUTEINFOA sei{};
        sei.cbSize = sizeof sei;
        sei.fMask = SEE_MASK_NOCLOSEPROCESS;
        std::string link = Link(name);
        sei.lpFile = link.c_str();
        sei.nShow = SW_SHOWNORMAL;
        ASSERT_TRUE(ShellExecuteExA(&sei));
        ASSERT_TRUE(WaitFor([&] { return Count("RasDialA") == 1; }));
        EXPECT_NE(testutil::JournalLines("RasDialA")[0].find("entry=" + rassim::Quote(entry)), std::string::npos);
        if (sei.hProcess) CloseHandle(sei.hProcess);
        CloseOtherInstances();
    }
}

// A desktop folder named with a character outside the ANSI code page (a user
// name of another language): the link is made in it, under its own name.
TEST_F(ShortcutTest, DesktopFolderOutsideTheCodePage)
{
    const std::wstring folder = L"C:\\users\\Desk\u0151p";  // o with double acute: neither 1252 nor 932
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    const std::wstring link = folder + L"\\Kelvane Pendro!.lnk";
    {
        DesktopFolder moved(folder);
        Pendro p;
        ASSERT_TRUE(p.Window());
        p.Click(kShortcut);
        EXPECT_TRUE(WaitFor([&] { return GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES; }));
        EXPECT_TRUE(p.NoMessageBox(300));
    }
    // For the independent reader: a copy where the other links are.
    const std::string copy = Link("Outside the code page");
    ASSERT_TRUE(CopyFileW(link.c_str(), std::wstring(copy.begin(), copy.end()).c_str(), FALSE));
    Expect("Outside the code page.lnk", "");
    DeleteFileW(link.c_str());
}

// Run once per language.
TEST_F(ShortcutTest, LocalizedLinkName)
{
    const char* lc = std::getenv("LC_ALL");
    bool german = lc && std::string(lc).rfind("de_", 0) == 0;
    Entries({{"Alpha", nullptr}});
    Pendro p;
    ASSERT_TRUE(p.Window());
    p.Click(kShortcut);
    MessageBoxInfo box = p.WaitMessageBox();
    ASSERT_TRUE(box.hwnd);
    EXPECT_EQ(box.text.substr(0, 10), german ? "Zu \"Kelvan" : "Create a d");
    p.Answer(box, IDYES);
    EXPECT_TRUE(WaitFor([&] { return Exists(Link(german ? "Kelvane Pendro! mit Alpha" : "Kelvane Pendro! to Alpha")); }));
}

class PanelTest : public E2eTest {
protected:
    void SetUp() override
    {
        E2eTest::SetUp();
        // The shell opens web addresses with our recorder, so the journal shows them.
        std::string cmd = "\"" + testutil::WinPath(RASSIMCTL_EXE) + "\" open-url \"%1\"";
        for (const char* scheme : {"Software\\Classes\\https\\shell\\open\\command", "Software\\Classes\\http\\shell\\open\\command"}) {
            HKEY k;
            RegCreateKeyExA(HKEY_LOCAL_MACHINE, scheme, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr);
            RegSetValueExA(k, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(cmd.c_str()), static_cast<DWORD>(cmd.size() + 1));
            RegCloseKey(k);
        }
    }
};

TEST_F(PanelTest, ClickHereWhileConnectedOpensTheHomepageAtOnce)
{
    Entries({{"Alpha", nullptr}});
    ASSERT_EQ(testutil::Run(testutil::RassimCtl() + " connect Alpha"), 0u);
    Pendro p;
    ASSERT_TRUE(p.Window());
    p.Click(kClickHere);
    ASSERT_TRUE(WaitFor([&] { return Count("OpenURL") == 1; }));
    EXPECT_NE(testutil::JournalLines("OpenURL")[0].find("url=\"https://www.kelvane.example/\""), std::string::npos);
    EXPECT_TRUE(p.NoMessageBox(300));
}

TEST_F(PanelTest, ClickHereWhileNotConnectedOpensAfterTheNextConnection)
{
    Entries({{"Alpha", "std@100 connected@100"}});
    ASSERT_EQ(testutil::Run(testutil::RassimCtl() + " connect Other modem Modem 1"), 0u);  // only being dialled
    Pendro p;
    ASSERT_TRUE(p.Window());
    p.Click(kClickHere);
    MessageBoxInfo box = p.WaitMessageBox();
    ASSERT_TRUE(box.hwnd);
    EXPECT_EQ(box.caption, "Kelvane Pendro!");
    EXPECT_EQ(box.text,
              "Thank you!\n\nAs soon as you are connected to the internet\nyou will be redirected to the Kelvane homepage.");
    EXPECT_EQ(box.buttons, (std::vector<int>{IDOK}));
    EXPECT_EQ(IconKind(box), static_cast<UINT>(MB_ICONINFORMATION));
    p.Answer(box, IDOK);
    EXPECT_EQ(Count("OpenURL"), 0u);
    testutil::Run(testutil::RassimCtl() + " drop all");
    p.Select("Alpha");
    p.Click(kDial);
    EXPECT_EQ(p.WaitExit(), 0u);
    EXPECT_TRUE(WaitFor([&] { return Count("OpenURL") == 1; }));
}

TEST_F(PanelTest, ClickHereThenQuitNeverOpens)
{
    Pendro p;
    ASSERT_TRUE(p.Window());
    p.Click(kClickHere);
    MessageBoxInfo box = p.WaitMessageBox();
    p.Answer(box, IDOK);
    p.Click(kQuit);
    EXPECT_EQ(p.WaitExit(), 0u);
    Sleep(300);
    EXPECT_EQ(Count("OpenURL"), 0u);
}

// The separator lines of an open menu, from its pixels: the rows inside the
// frame that are almost all of the shadow colour, top down.
std::vector<int> SeparatorLines(HWND menu, int* height)
{
    RECT r;
    GetWindowRect(menu, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
    std::vector<int> lines;
    bool inLine = false;
    *height = h;
    for (int y = 4; y < h - 4; ++y) {
        int dark = 0;
        for (int x = 6; x < w - 6; ++x)
            if (GetPixel(screen, r.left + x, r.top + y) == shadow) ++dark;
        bool line = dark * 10 >= (w - 12) * 8;
        if (line && !inLine) lines.push_back(y);
        inLine = line;
    }
    ReleaseDC(nullptr, screen);
    return lines;
}

TEST_F(PanelTest, AboutBoxFromTheSystemMenu)
{
    Pendro p;
    ASSERT_TRUE(p.Window());
    // Opened as a person would, with Alt+Space: the program's separator is
    // followed by one item, as far below it as the item before it (Close on
    // Windows, Wine's own About under Wine) is below the separator before that,
    // and that last item opens the About box.
    p.Post(WM_SYSCOMMAND, SC_KEYMENU, ' ');
    HWND menu = p.WaitPopupMenu();
    ASSERT_TRUE(menu);
    Sleep(300);
    p.Screenshot("system-menu");
    int height = 0;
    std::vector<int> lines = SeparatorLines(menu, &height);
    ASSERT_GE(lines.size(), 2u);
    int last = lines.back(), before = lines[lines.size() - 2];
    EXPECT_NEAR(height - last, last - before, 4) << "separators at " << before << " and " << last << " of " << height;
    p.Post(WM_KEYDOWN, VK_UP, 0);
    p.Post(WM_KEYDOWN, VK_RETURN, 0);
    MessageBoxInfo about = p.WaitMessageBox();
    ASSERT_TRUE(about.hwnd);
    EXPECT_EQ(about.caption, "About Kelvane Pendro!");
    EXPECT_EQ(about.buttons, (std::vector<int>{IDOK}));
    p.Answer(about, IDOK);
    EXPECT_TRUE(p.Running());
}

TEST_F(PanelTest, BitmapIsDrawnWithItsGreyTransparent)
{
    Pendro p;
    ASSERT_TRUE(p.Window());
    POINT origin = p.PaintedClientOrigin();
    origin.x += 16, origin.y += 16;
    HDC screen = GetDC(nullptr);
    COLORREF corner = GetPixel(screen, origin.x, origin.y);            // grey in the bitmap
    COLORREF meter = GetPixel(screen, origin.x + 38, origin.y + 20);  // a green bar
    COLORREF beside = GetPixel(screen, origin.x + 140, origin.y + 3);  // panel ground, no bitmap
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(corner, beside);  // the dialog's ground shows through
    EXPECT_EQ(meter, RGB(0, 128, 0));
    EXPECT_NE(corner, RGB(192, 192, 192)) << "the ground happens to be light grey; the test proves nothing";
}

}  // namespace
}  // namespace e2e
