// Start-up, the single instance and the main window of the real program.
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <vector>

#include "fixture.h"

namespace e2e {
namespace {

using StartupTest = E2eTest;

// Names go through N(): the code-page-932 pass runs these tests again with
// double-byte names.
TEST_F(StartupTest, PreselectsSystemDefaultThenFirstSortedEntry)
{
    const std::string zeta = N("Zeta"), mid = N("Mid"), alpha = N("Alpha");
    Entries({{zeta.c_str(), nullptr}, {mid.c_str(), nullptr}, {alpha.c_str(), nullptr}});
    {
        Pendro p;
        ASSERT_TRUE(p.Window());
        EXPECT_EQ(p.SelectedEntry(), alpha);  // first in sorted order
        EXPECT_EQ(SendMessageA(p.Item(kEntry), CB_GETCOUNT, 0, 0), 3);
        EXPECT_TRUE(p.Enabled(kDial));
        EXPECT_FALSE(p.Enabled(kCancel));
        EXPECT_TRUE(p.Enabled(kQuit));
        EXPECT_EQ(p.FocusId(), kDial);
    }
    testutil::WriteValue("RemoteAccess", "Default", REG_SZ, mid + '\0');
    Pendro p;
    ASSERT_TRUE(p.Window());
    EXPECT_EQ(p.SelectedEntry(), mid);
}

TEST_F(StartupTest, StoredDefaultEntryIsMatchedAsABeginningIgnoringCase)
{
    const std::string two = N("Provider Two"), one = N("Provider One"), other = N("Other");
    Entries({{two.c_str(), nullptr}, {one.c_str(), nullptr}, {other.c_str(), nullptr}});
    testutil::WriteValue("RemoteAccess", "Default", REG_SZ, other + '\0');
    testutil::WriteValue(kKey, "DefaultEntry", REG_SZ, N("provider") + '\0');
    testutil::WriteValue(kKey, "DialPrefix", REG_SZ, std::string("0", 2));
    Pendro p;
    ASSERT_TRUE(p.Window());
    EXPECT_EQ(p.SelectedEntry(), one);  // the first in sorted order that begins with it
    EXPECT_EQ(p.Text(kPrefix), "0");
}

TEST_F(StartupTest, CommandLineEntryWinsAndDialsWithoutAClick)
{
    const std::string alpha = N("Alpha"), surfer = N("Net Surfer");
    // Under code page 932 also two names that differ only in the letter case
    // of a trail byte (ア = 83 41, ャ = 83 61): neither may stand for the other.
    const std::string upper = Ansi("ア回線"), lower = Ansi("ャ回線");
    struct Row {
        std::string argument, dialled;
    };
    std::vector<Row> rows = {{"\"" + N("net surfer") + "\"", surfer}};
    if (DoubleBytePass()) rows.insert(rows.end(), {{lower, lower}, {upper, upper}});
    for (const Row& row : rows) {
        SCOPED_TRACE(row.argument);
        testutil::ResetSim();
        Entries({{alpha.c_str(), "hang"}, {surfer.c_str(), "hang"}});
        if (DoubleBytePass()) Entries({{upper.c_str(), "hang"}, {lower.c_str(), "hang"}});
        testutil::WriteValue(kKey, "DefaultEntry", REG_SZ, alpha + '\0');
        Pendro p(row.argument);
        ASSERT_TRUE(p.Window());
        ASSERT_TRUE(WaitFor([&] { return Count("RasDialA") == 1; }));
        EXPECT_NE(testutil::JournalLines("RasDialA")[0].find("entry=" + rassim::Quote(row.dialled)), std::string::npos);
        EXPECT_EQ(p.SelectedEntry(), row.dialled);
        EXPECT_FALSE(p.Enabled(kDial));
        EXPECT_TRUE(p.Enabled(kCancel));
        p.Click(kCancel);
        ASSERT_TRUE(WaitFor([&] { return Idle(p); }));
    }
}

TEST_F(StartupTest, SecondStartRestoresTheFirstAndEnds)
{
    Entries({{"Alpha", "hang"}});
    Pendro first;
    HWND w = first.Window();
    ASSERT_TRUE(w);
    ShowWindow(w, SW_MINIMIZE);
    ASSERT_TRUE(WaitFor([&] { return IsIconic(w) != FALSE; }));
    EXPECT_EQ(RunToEnd(""), 0u);
    EXPECT_TRUE(WaitFor([&] { return !IsIconic(w); }));
    EXPECT_EQ(Count("RasDialA"), 0u);

    EXPECT_EQ(RunToEnd("ALPHA"), 0u);  // an entry name: the running instance dials it
    EXPECT_TRUE(WaitFor([&] { return Count("RasDialA") == 1; }));
    EXPECT_TRUE(WaitFor([&] { return first.Enabled(kCancel); }));
    EXPECT_EQ(RunToEnd("nobody"), 0u);  // names no entry: only brought to the front
    Sleep(300);
    EXPECT_EQ(Count("RasDialA"), 1u);
    EXPECT_TRUE(first.Running());
}

// Two starts at once (a double-click taken twice): one window and one dial,
// every time.
TEST_F(StartupTest, TwoStartsAtOnceMakeOneWindowAndOneDial)
{
    for (int round = 1; round <= 10; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        testutil::ResetSim();
        Entries({{"Alpha", "hang"}});
        {
            // A longer phonebook: both starts read it before either has a window.
            rassim::Session s;
            for (int i = 0; i < 200; ++i) testutil::AddEntry(s.state(), ("Provider " + std::to_string(i)).c_str(), "1");
            s.Commit();
        }
        Pendro a("Alpha"), b("Alpha");
        ASSERT_TRUE(WaitFor([&] { return Count("RasDialA") >= 1; }));
        EXPECT_TRUE(WaitFor([&] { return !a.Running() || !b.Running(); }));
        Sleep(500);  // a second window or dial would be there by now
        EXPECT_EQ(VisibleMainWindows(), 1);
        EXPECT_EQ(Count("RasDialA"), 1u);
        EXPECT_EQ(Count("RasHangUpA"), 0u);
    }
}

// What a later start finds when the single-instance name is not a mutex it
// can wait on, or when the first start shows no window for long.
TEST_F(StartupTest, LaterStartHandsOverOrShowsItsOwnWindow)
{
    Entries({{"Alpha", "hang"}, {"Beta", "hang"}});
    const char kName[] = "Kelvane Pendro! single instance";
    // Closed and destroyed however the test ends: a mutex left held would
    // hold up every later start, and a window of this caption left behind
    // would be taken for the program's.
    struct Owned {
        HANDLE handle = nullptr;
        HWND window = nullptr;
        ~Owned()
        {
            if (window) DestroyWindow(window);
            if (handle) ReleaseMutex(handle), CloseHandle(handle);
        }
    };
    {
        // Another kind of object holds the name: the window search hands over.
        Owned event;
        event.handle = CreateEventA(nullptr, TRUE, FALSE, kName);
        ASSERT_TRUE(event.handle);
        Pendro first;
        ASSERT_TRUE(first.Window());
        EXPECT_EQ(RunToEnd("Beta"), 0u);
        ASSERT_TRUE(WaitFor([&] { return Count("RasDialA") == 1; }));
        EXPECT_NE(testutil::JournalLines("RasDialA")[0].find("entry=\"Beta\""), std::string::npos);
        EXPECT_EQ(VisibleMainWindows(), 1);
    }
    CloseOtherInstances();
    testutil::ResetSim();
    Entries({{"Alpha", "hang"}, {"Beta", "hang"}});
    Owned mutex, late;
    mutex.handle = CreateMutexA(nullptr, TRUE, kName);
    ASSERT_TRUE(mutex.handle);
    {
        // A first start whose window comes late, as while the service starts:
        // the request waits for it and goes to it.
        static WPARAM handed;
        handed = static_cast<WPARAM>(-1);
        WNDCLASSA wc = {};
        wc.lpfnWndProc = [](HWND h, UINT m, WPARAM w, LPARAM l) WINAPI -> LRESULT {
            if (m == WM_APP + 1) handed = w;
            return DefWindowProcA(h, m, w, l);
        };
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "LateFirstStart";
        RegisterClassA(&wc);
        Pendro later("Beta");
        Sleep(12000);
        EXPECT_TRUE(later.Running());
        EXPECT_EQ(VisibleMainWindows(), 0);
        late.window = CreateWindowA("LateFirstStart", kCaption, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                                    nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_TRUE(late.window);
        EXPECT_TRUE(WaitFor([&] {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
            return handed != static_cast<WPARAM>(-1) && !later.Running();
        }));
        EXPECT_EQ(handed, 1u);  // Beta's place in the phonebook
        EXPECT_EQ(later.WaitExit(), 0u);
        DestroyWindow(late.window);
        late.window = nullptr;
    }
    {
        // A first start whose window cannot take the request (gone as it is
        // restored, as an elevated one refuses it): the later one dials.
        WNDCLASSA wc = {};
        wc.lpfnWndProc = [](HWND h, UINT m, WPARAM w, LPARAM l) WINAPI -> LRESULT {
            if (m == WM_SIZE && w == SIZE_RESTORED) DestroyWindow(h);
            return DefWindowProcA(h, m, w, l);
        };
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "GoneFirstStart";
        RegisterClassA(&wc);
        late.window = CreateWindowA(wc.lpszClassName, kCaption, WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_MINIMIZE, 0, 0,
                                    200, 100, nullptr, nullptr, wc.hInstance, nullptr);
        Pendro later("Beta");
        EXPECT_TRUE(WaitFor([&] {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
            return Count("RasDialA") == 1 && !IsWindow(late.window);
        }));
        late.window = nullptr;
        EXPECT_EQ(later.SelectedEntry(), "Beta");
    }
    testutil::ResetSim();
    Entries({{"Alpha", "hang"}, {"Beta", "hang"}});
    {
        // A first start that never shows one: the later one does, and dials.
        Pendro later("Beta");
        ASSERT_TRUE(later.Window(75000));
        EXPECT_TRUE(WaitFor([&] { return Count("RasDialA") == 1; }));
        EXPECT_EQ(later.SelectedEntry(), "Beta");
    }
}

TEST_F(StartupTest, Windows2000ModeFromTheSwitchOrTheSystem)
{
    // "2000" stays dialing: a connection would close the window before it is read.
    Entries({{"2000", "hang"}, {"Alpha", nullptr}, {"-Home", "hang"}});
    for (const char* version : {"win98", "nt40"}) {
        SetWindowsVersion(version);
        Pendro p;
        ASSERT_TRUE(p.Window());
        EXPECT_FALSE(p.Visible(kPassword)) << version;
        EXPECT_EQ(SendMessageA(p.Item(kEntry), CB_GETCOUNT, 0, 0), 3) << version;
    }
    for (const char* sw : {"/2000", "-2000"}) {
        Pendro p(sw);
        ASSERT_TRUE(p.Window());
        EXPECT_TRUE(p.Visible(kPassword)) << sw;
        EXPECT_EQ(SendMessageA(p.Item(kEntry), CB_GETCOUNT, 0, 0), 3) << sw;
        Sleep(300);
        EXPECT_EQ(Count("RasDialA"), 0u) << sw;  // a switch names no entry
    }
    {
        Pendro p("/2001");
        ASSERT_TRUE(p.Window());
        EXPECT_FALSE(p.Visible(kPassword));
    }
    {
        Pendro p("2000");  // a bare 2000 is an entry name, and it dials
        ASSERT_TRUE(p.Window());
        EXPECT_FALSE(p.Visible(kPassword));
        EXPECT_EQ(p.SelectedEntry(), "2000");
        EXPECT_TRUE(WaitFor([&] { return Count("RasDialA") == 1; }));
    }
    {
        Pendro p("-home");  // a switch whose whole text names an entry selects it
        ASSERT_TRUE(p.Window());
        EXPECT_FALSE(p.Visible(kPassword));
        EXPECT_EQ(p.SelectedEntry(), "-Home");
        ASSERT_TRUE(WaitFor([&] { return Count("RasDialA") == 2; }));
        EXPECT_NE(testutil::JournalLines("RasDialA")[1].find("entry=\"-Home\""), std::string::npos);
    }
    SetWindowsVersion("win2k");
    Pendro p;
    ASSERT_TRUE(p.Window());
    EXPECT_TRUE(p.Visible(kPassword));
}

TEST_F(StartupTest, QuitEscapeAndCloseSaveWhenIdleOnly)
{
    const std::string alpha = N("Alpha"), beta = N("Beta");
    Entries({{alpha.c_str(), "hang"}, {beta.c_str(), nullptr}});
    {
        Pendro p;
        ASSERT_TRUE(p.Window());
        p.Select(beta);
        p.TypeInto(kPrefix, "0w9");  // digits only
        EXPECT_EQ(p.Text(kPrefix), "09");
        p.Click(kQuit);
        EXPECT_EQ(p.WaitExit(), 0u);
    }
    EXPECT_EQ(Setting("DefaultEntry"), beta);
    EXPECT_EQ(Setting("DialPrefix"), "09");
    {
        Pendro p;
        ASSERT_TRUE(p.Window());
        EXPECT_EQ(p.SelectedEntry(), beta);
        p.Select(alpha);
        p.Key(VK_ESCAPE);
        EXPECT_EQ(p.WaitExit(), 0u);
    }
    EXPECT_EQ(Setting("DefaultEntry"), alpha);
    {
        Pendro p;
        ASSERT_TRUE(p.Window());
        p.Select(beta);
        p.Post(WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_EQ(p.WaitExit(), 0u);
    }
    EXPECT_EQ(Setting("DefaultEntry"), beta);

    testutil::DeleteKey(kKey);
    testutil::WriteValue(kPwdKey, alpha.c_str(), REG_SZ, std::string("NULL", 5));
    Pendro p;
    ASSERT_TRUE(p.Window());
    p.Select(alpha);
    p.Click(kDial);
    ASSERT_TRUE(WaitFor([&] { return p.Enabled(kCancel); }));
    p.Key(VK_ESCAPE);
    p.Post(WM_SYSCOMMAND, SC_CLOSE, 0);
    p.Post(WM_CLOSE, 0, 0);
    p.Post(WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ(p.WaitExit(1000), static_cast<DWORD>(STILL_ACTIVE));
    EXPECT_EQ(Setting("DefaultEntry"), "<absent>");  // nothing was saved
    p.Click(kCancel);  // Cancel stops the run without a word
    ASSERT_TRUE(WaitFor([&] { return Idle(p); }));
    EXPECT_TRUE(p.NoMessageBox(300));
    EXPECT_TRUE(p.Log().find("Dial attempt 1/100:") == 0);
    // The session ends (logoff, shutdown) while idle: saved as by Quit.
    p.Select(beta);
    p.TypeInto(kPrefix, "5");
    p.Post(WM_ENDSESSION, TRUE, 0);
    EXPECT_TRUE(WaitFor([&] { return Setting("DefaultEntry") == beta && Setting("DialPrefix") == "5"; }));
    p.Select(alpha);
    p.Click(kQuit);
    EXPECT_EQ(p.WaitExit(), 0u);
    EXPECT_EQ(Setting("DefaultEntry"), alpha);
}

TEST_F(StartupTest, KeyboardReachesEveryControl)
{
    Entries({{"Alpha", nullptr}});
    Pendro p;
    ASSERT_TRUE(p.Window());
    std::set<int> reached;
    for (int i = 0; i < 12; ++i) {
        reached.insert(p.FocusId());
        p.Key(VK_TAB);
        Sleep(60);
    }
    for (int id : {kClickHere, kPrefix, kEntry, kShortcut, kPassword, kDial, kQuit})
        EXPECT_TRUE(reached.count(id)) << "Tab never reached control " << id;
    EXPECT_FALSE(reached.count(kCancel));  // disabled while idle
    p.Key('Q', true);  // Alt+Q: Quit
    EXPECT_EQ(p.WaitExit(), 0u);
}

// A minimised window has an empty client area here (as on Windows since Vista),
// so the centred icon itself cannot be seen, nor can a paint that fails to
// validate loop: what can is that painting while minimised neither stalls nor
// ends the program, and that the restored window paints its panel again.
TEST_F(StartupTest, MinimisedWindowPaintsAndRepaintsWhenRestored)
{
    Entries({{"Alpha", nullptr}});
    Pendro p;
    HWND w = p.Window();
    ASSERT_TRUE(w);
    ShowWindow(w, SW_MINIMIZE);
    ASSERT_TRUE(WaitFor([&] { return IsIconic(w) != FALSE; }));
    for (int i = 0; i < 20; ++i) {
        PostMessageA(w, WM_PAINT, 0, 0);
        RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
    }
    DWORD_PTR ignored = 0;
    EXPECT_TRUE(SendMessageTimeoutA(w, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &ignored));
    EXPECT_TRUE(p.Running());
    EXPECT_TRUE(IsIconic(w));

    ShowWindow(w, SW_RESTORE);
    ASSERT_TRUE(WaitFor([&] { return !IsIconic(w); }));
    UpdateWindow(w);
    Sleep(400);
    POINT bar = {16 + 38, 16 + 20};  // a green bar of the panel's bitmap
    ClientToScreen(w, &bar);
    HDC screen = GetDC(nullptr);
    COLORREF meter = GetPixel(screen, bar.x, bar.y);
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(meter, RGB(0, 128, 0));
}

// A truly minimised window has no client area to see. So the window's style is
// made minimised while it keeps its size: it then paints as minimised, and the
// icon it draws can be found on the screen.
TEST_F(StartupTest, MinimisedPaintDrawsTheIconCentred)
{
    Entries({{"Alpha", nullptr}});
    Pendro p;
    HWND w = p.Window();
    ASSERT_TRUE(w);
    EnumChildWindows(
        w, [](HWND child, LPARAM) WINAPI -> BOOL { return ShowWindow(child, SW_HIDE), TRUE; }, 0);
    LONG style = GetWindowLongA(w, GWL_STYLE);
    SetWindowLongA(w, GWL_STYLE, style | WS_MINIMIZE);
    ASSERT_TRUE(IsIconic(w));
    RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    Sleep(400);

    RECT client, frame;
    GetClientRect(w, &client);
    GetWindowRect(w, &frame);
    int cx = GetSystemMetrics(SM_CXICON), cy = GetSystemMetrics(SM_CYICON);
    // A minimised window paints from its window's corner, not its client's.
    POINT at = {frame.left + (client.right - cx + 1) / 2, frame.top + (client.bottom - cy + 1) / 2};
    // The icon as it draws itself: pixels that come out the same on black and
    // on white are its own; those must be on the screen where it is centred.
    HMODULE exe = LoadLibraryExA(PendroPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(exe);
    HICON icon = static_cast<HICON>(LoadImageA(exe, MAKEINTRESOURCEA(146), IMAGE_ICON, cx, cy, 0));
    ASSERT_TRUE(icon);
    HDC screen = GetDC(nullptr);
    auto drawOn = [&](COLORREF ground, std::vector<COLORREF>& out) {
        HDC mem = CreateCompatibleDC(screen);
        HBITMAP bmp = CreateCompatibleBitmap(screen, cx, cy);
        HGDIOBJ old = SelectObject(mem, bmp);
        HBRUSH brush = CreateSolidBrush(ground);
        RECT all = {0, 0, cx, cy};
        FillRect(mem, &all, brush);
        DrawIcon(mem, 0, 0, icon);
        for (int y = 0; y < cy; ++y)
            for (int x = 0; x < cx; ++x) out.push_back(GetPixel(mem, x, y));
        SelectObject(mem, old);
        DeleteObject(brush);
        DeleteObject(bmp);
        DeleteDC(mem);
    };
    std::vector<COLORREF> onBlack, onWhite;
    drawOn(RGB(0, 0, 0), onBlack);
    drawOn(RGB(255, 255, 255), onWhite);
    auto matches = [&](POINT origin) {
        int own = 0, same = 0;
        for (int y = 0; y < cy; ++y)
            for (int x = 0; x < cx; ++x) {
                size_t i = static_cast<size_t>(y * cx + x);
                if (onBlack[i] != onWhite[i]) continue;
                ++own;
                if (GetPixel(screen, origin.x + x, origin.y + y) == onBlack[i]) ++same;
            }
        return own > 0 && same == own;
    };
    EXPECT_TRUE(matches(at)) << "the icon is not where the centre of the client area is";
    EXPECT_FALSE(matches({at.x + 3, at.y}));  // the comparison can tell a position from another
    ReleaseDC(nullptr, screen);
    DestroyIcon(icon);
    FreeLibrary(exe);
    SetWindowLongA(w, GWL_STYLE, style);
}

// Once per language (the test process's own locale) and at each DPI of the
// table (the prefix's LogPixels, read by each program as it starts): the
// captions are in that language and fit their controls, the panel's bitmap
// fills its frame scaled by the DPI, at 96 DPI it is pixel for pixel the
// unscaled one, and the main window, the About box and the Password dialog
// are kept as screenshots.
TEST_F(StartupTest, LocalizedWindowsAtEveryDpi)
{
    Entries({{"Demo Online", nullptr}, {"Busy Line", nullptr}, {"Wrong Password", nullptr}});
    const char* lc = std::getenv("LC_ALL");
    const bool german = lc && std::string(lc).rfind("de_", 0) == 0;
    ASSERT_NE(GetSysColor(COLOR_BTNFACE), RGB(192, 192, 192));  // else transparency could not be seen
    HMODULE exe = LoadLibraryExA(PendroPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(exe);
    HBITMAP promo = static_cast<HBITMAP>(LoadImageA(exe, MAKEINTRESOURCEA(132), IMAGE_BITMAP, 0, 0, 0));
    ASSERT_TRUE(promo);
    auto setDpi = [](DWORD dpi) {
        testutil::WriteValue("Control Panel\\Desktop", "LogPixels", REG_DWORD,
                             std::string(reinterpret_cast<const char*>(&dpi), 4));
    };
    struct Restore {  // however the test ends, the tests after it run at 96 DPI
        decltype(setDpi)& set;
        ~Restore() { set(96); }
    } restore{setDpi};
    for (int dpi : {96, 120, 144, 192}) {
        SCOPED_TRACE("DPI " + std::to_string(dpi));
        setDpi(static_cast<DWORD>(dpi));
        Pendro p;
        ASSERT_TRUE(p.Window());
        EXPECT_EQ(p.Text(kQuit), german ? "&Beenden" : "&Quit");
        EXPECT_EQ(p.Text(kDial), german ? "&W\xE4hlen" : "&Dial");
        // Every caption fits its control: the text's extent in the control's font.
        for (int id : {kQuit, kDial, kCancel, kClickHere, kPassword, kShortcut}) {
            HWND h = p.Item(id);
            HDC dc = GetDC(h);
            HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(h, WM_GETFONT, 0, 0)));
            std::string text = p.Text(id);
            text.erase(std::remove(text.begin(), text.end(), '&'), text.end());
            SIZE extent;
            GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &extent);
            SelectObject(dc, old);
            ReleaseDC(h, dc);
            RECT r;
            GetClientRect(h, &r);
            EXPECT_LT(extent.cx + 6, r.right) << "caption of " << id << " does not fit: " << text;
        }
        POINT origin = p.PaintedClientOrigin();
        // The bitmap's opaque picture spans its columns 0 to 113 and its rows 0 to 29.
        auto scaled = [&](int v) { return MulDiv(v, dpi, 96); };
        RECT frame = {origin.x + scaled(16), origin.y + scaled(16), origin.x + scaled(16) + scaled(116),
                      origin.y + scaled(16) + scaled(30)};
        RECT around = {frame.left - 2, frame.top - 2, frame.right + 2, frame.bottom + 2};
        ScreenPixels screen(around);
        COLORREF ground = GetSysColor(COLOR_BTNFACE);
        int left = INT_MAX, right = -1, top = INT_MAX, bottom = -1, grey = 0;
        for (int y = around.top; y < around.bottom; ++y)
            for (int x = around.left; x < around.right; ++x) {
                COLORREF c = screen.At(x, y);
                if (c == RGB(192, 192, 192)) ++grey;
                if (c == ground) continue;
                left = std::min(left, x), right = std::max(right, x), top = std::min(top, y), bottom = std::max(bottom, y);
            }
        EXPECT_EQ(grey, 0) << "pixels of the transparent colour show";
        EXPECT_NEAR(left, frame.left, 2);
        EXPECT_NEAR(right, frame.left + scaled(114) - 1, 2);
        EXPECT_NEAR(top, frame.top, 2);
        EXPECT_NEAR(bottom, frame.bottom - 1, 2);
        if (dpi == 96) {
            // Unscaled, at (16, 16): every opaque pixel as in the bitmap, every other the dialog's.
            HDC dc = CreateCompatibleDC(nullptr);
            HGDIOBJ old = SelectObject(dc, promo);
            int wrong = 0;
            for (int y = 0; y < 30; ++y)
                for (int x = 0; x < 116; ++x) {
                    COLORREF want = GetPixel(dc, x, y);
                    if (want == RGB(192, 192, 192)) want = ground;
                    wrong += screen.At(frame.left + x, frame.top + y) != want;
                }
            SelectObject(dc, old);
            DeleteDC(dc);
            EXPECT_EQ(wrong, 0) << "pixels unlike the bitmap at 96 DPI";
        }
        const std::string name = std::string(german ? "de" : "en") + "-" + std::to_string(dpi) + "dpi";
        p.Screenshot("main-window-" + name);
        p.Post(WM_SYSCOMMAND, 0x0010, 0);  // About, from the system menu
        MessageBoxInfo about = p.WaitMessageBox();
        ASSERT_TRUE(about.hwnd);
        EXPECT_TRUE(about.hasIcon);
        p.Screenshot("about-" + name, about.hwnd);
        p.Answer(about, IDOK);
        ASSERT_TRUE(WaitFor([&] { return !IsWindow(about.hwnd); }));
        p.Click(kPassword);
        MessageBoxInfo password = WaitPasswordDialog(p);
        ASSERT_TRUE(password.hwnd);
        p.Screenshot("password-" + name, password.hwnd);
        p.Answer(password, IDCANCEL);
        ASSERT_TRUE(WaitFor([&] { return !IsWindow(password.hwnd); }));
    }
    DeleteObject(promo);
    FreeLibrary(exe);
}

}  // namespace
}  // namespace e2e
