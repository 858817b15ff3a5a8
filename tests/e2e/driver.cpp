#include "driver.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "unit/test_util.h"

namespace e2e {

const char kCaption[] = "Kelvane Pendro! - Version 1.0";

std::string PendroPath() { return testutil::WinPath(PENDRO_EXE); }

namespace {
bool g_validated = true;
}

void ValidateHeap(bool on) { g_validated = on; }

// The program as started: a copy under another name escapes the heap
// validation that the test bed sets for Pendro.exe.
static std::string StartPath()
{
    if (g_validated) return PendroPath();
    std::string path = PendroPath(), copy = path.substr(0, path.find_last_of('\\') + 1) + "PendroUnvalidated.exe";
    CopyFileA(path.c_str(), copy.c_str(), FALSE);
    return copy;
}

std::vector<DWORD>& StartedPids()
{
    static std::vector<DWORD> pids;
    return pids;
}

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(20);
    }
}

static void StartProcess(const std::string& exe, const std::string& args, const char* lang, const char* cwd,
                         PROCESS_INFORMATION* pi)
{
    std::string cmd = "\"" + exe + "\"" + (args.empty() ? "" : " " + args);
    char old[64] = "";
    bool hadOld = GetEnvironmentVariableA("LC_ALL", old, sizeof old) > 0;
    if (lang) SetEnvironmentVariableA("LC_ALL", std::string(lang) == "de" ? "de_DE.UTF-8" : "en_US.UTF-8");
    STARTUPINFOA si{};
    si.cb = sizeof si;
    // Wine now and then answers a process start with an internal error; a
    // person would start the program again, and so does the driver.
    BOOL ok = FALSE;
    for (int attempt = 0; attempt < 3 && !ok; ++attempt) {
        std::string line = cmd;
        ok = CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, cwd, &si, pi);
        if (!ok) Sleep(300);
    }
    if (lang) SetEnvironmentVariableA("LC_ALL", hadOld ? old : nullptr);
    if (ok) StartedPids().push_back(pi->dwProcessId);
    if (!ok) std::fprintf(stderr, "cannot start %s: %lu\n", cmd.c_str(), GetLastError());
}

Pendro::Pendro(const std::string& args, const char* lang) { StartProcess(StartPath(), args, lang, nullptr, &m_pi); }

Pendro::Pendro(const std::string& exe, const std::string& args, const char* cwd)
{
    StartProcess(exe, args, nullptr, cwd, &m_pi);
}

Pendro::~Pendro()
{
    if (m_pi.hProcess) {
        if (Running()) {
            TerminateProcess(m_pi.hProcess, 99);
            WaitForSingleObject(m_pi.hProcess, 5000);
        }
        CloseHandle(m_pi.hProcess);
        CloseHandle(m_pi.hThread);
    }
}

static HWND FindOwnWindow(DWORD pid, const char* cls, const char* caption, HWND except)
{
    struct Search {
        DWORD pid;
        const char* cls;
        const char* caption;
        HWND except, found;
    } s{pid, cls, caption, except, nullptr};
    EnumWindows(
        [](HWND h, LPARAM p) WINAPI -> BOOL {
            auto* q = reinterpret_cast<Search*>(p);
            DWORD owner = 0;
            GetWindowThreadProcessId(h, &owner);
            if (owner != q->pid || h == q->except || !IsWindowVisible(h)) return TRUE;
            char buf[256];
            if (q->cls && (!GetClassNameA(h, buf, sizeof buf) || std::string(buf) != q->cls)) return TRUE;
            if (q->caption && (!GetWindowTextA(h, buf, sizeof buf) || std::string(buf) != q->caption)) return TRUE;
            q->found = h;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&s));
    return s.found;
}

HWND Pendro::Window(DWORD timeoutMs)
{
    if (m_main && IsWindow(m_main)) return m_main;
    WaitFor([&] { return (m_main = FindOwnWindow(m_pi.dwProcessId, nullptr, kCaption, nullptr)) != nullptr; },
            timeoutMs);
    if (m_main) WaitForInputIdle(m_pi.hProcess, 5000);
    return m_main;
}

HWND Pendro::Item(int id) { return GetDlgItem(Window(), id); }

void Pendro::Click(int id) { PostMessageA(Item(id), BM_CLICK, 0, 0); }

static std::string WindowText(HWND h)
{
    LRESULT n = SendMessageA(h, WM_GETTEXTLENGTH, 0, 0);
    std::string s(static_cast<size_t>(n) + 1, '\0');
    LRESULT got = SendMessageA(h, WM_GETTEXT, s.size(), reinterpret_cast<LPARAM>(s.data()));
    s.resize(static_cast<size_t>(got));
    return s;
}

std::string Pendro::Text(int id) { return WindowText(Item(id)); }

std::vector<std::string> Pendro::LogLines()
{
    std::vector<std::string> lines;
    std::string log = Log();
    size_t p = 0;
    while (p < log.size()) {
        size_t e = log.find("\r\n", p);
        if (e == std::string::npos) e = log.size();
        lines.push_back(log.substr(p, e - p));
        p = e + 2;
    }
    return lines;
}

std::string Pendro::SelectedEntry() { return Text(1002); }

void Pendro::Select(const std::string& entry)
{
    SendMessageA(Item(1002), CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(entry.c_str()));
}

void Pendro::TypeInto(int id, const std::string& chars)
{
    HWND h = Item(id);
    for (char c : chars) SendMessageA(h, WM_CHAR, static_cast<unsigned char>(c), 1);
}

void Pendro::Key(WPARAM vk, bool alt)
{
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    GetGUIThreadInfo(m_pi.dwThreadId, &gui);
    HWND target = gui.hwndFocus ? gui.hwndFocus : Window();
    UINT down = alt ? WM_SYSKEYDOWN : WM_KEYDOWN, up = alt ? WM_SYSKEYUP : WM_KEYUP;
    LPARAM flags = alt ? (1 << 29) : 0;
    PostMessageA(target, down, vk, 1 | flags);
    if (alt && vk >= 'A' && vk <= 'Z') PostMessageA(target, WM_SYSCHAR, vk + 32, 1 | flags);
    else if (vk == VK_TAB || vk == VK_ESCAPE || vk == VK_RETURN) PostMessageA(target, WM_CHAR, vk, 1);
    PostMessageA(target, up, vk, static_cast<LPARAM>(0xC0000001) | flags);
}

int Pendro::FocusId()
{
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    if (!GetGUIThreadInfo(m_pi.dwThreadId, &gui) || !gui.hwndFocus) return 0;
    HWND h = gui.hwndFocus;
    // The edit inside a combo box stands for the combo box.
    if (GetParent(h) != Window() && GetParent(h)) h = GetParent(h);
    return GetDlgCtrlID(h);
}

// The icon static's pixels against each system icon drawn the same way on
// the same ground; the box may still be painting, so it looks a few times.
UINT IconKind(const MessageBoxInfo& box)
{
    HWND icon = box.iconControl;
    if (!icon) return 0;
    RECT rc;
    GetClientRect(icon, &rc);
    const int w = rc.right, h = rc.bottom;
    if (w <= 0 || h <= 0) return 0;
    HDC screen = GetDC(nullptr);
    HDC shot = CreateCompatibleDC(screen), drawn = CreateCompatibleDC(screen);
    HBITMAP shotBits = CreateCompatibleBitmap(screen, w, h), drawnBits = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ oldShot = SelectObject(shot, shotBits), oldDrawn = SelectObject(drawn, drawnBits);
    struct Kind {
        UINT kind;
        LPCSTR id;
    };
    const Kind kinds[] = {{MB_ICONHAND, IDI_HAND}, {MB_ICONQUESTION, IDI_QUESTION},
                          {MB_ICONEXCLAMATION, IDI_EXCLAMATION}, {MB_ICONASTERISK, IDI_ASTERISK}};
    UINT found = 0;
    for (int tries = 0; tries < 20 && !found; ++tries) {
        // From the screen: another process's window gives its pixels no other way.
        POINT at = {0, 0};
        ClientToScreen(icon, &at);
        BitBlt(shot, 0, 0, w, h, screen, at.x, at.y, SRCCOPY);
        HBRUSH ground = CreateSolidBrush(GetPixel(shot, 0, 0));
        for (const Kind& k : kinds) {
            FillRect(drawn, &rc, ground);
            DrawIconEx(drawn, 0, 0, LoadIconA(nullptr, k.id), w, h, 0, nullptr, DI_NORMAL);
            int differ = 0;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    if (GetPixel(shot, x, y) != GetPixel(drawn, x, y)) ++differ;
            if (differ * 50 < w * h) found = k.kind;  // under 2 % of the pixels
        }
        DeleteObject(ground);
        if (!found) Sleep(50);
    }
    SelectObject(shot, oldShot);
    SelectObject(drawn, oldDrawn);
    DeleteObject(shotBits);
    DeleteObject(drawnBits);
    DeleteDC(shot);
    DeleteDC(drawn);
    ReleaseDC(nullptr, screen);
    return found;
}

MessageBoxInfo Pendro::WaitMessageBox(DWORD timeoutMs)
{
    MessageBoxInfo info;
    WaitFor([&] { return (info.hwnd = FindOwnWindow(m_pi.dwProcessId, "#32770", nullptr, m_main)) != nullptr; },
            timeoutMs);
    if (!info.hwnd) return info;
    Sleep(50);
    info.caption = WindowText(info.hwnd);
    info.text = WindowText(GetDlgItem(info.hwnd, 0xFFFF));
    for (int id : {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO})
        if (HWND b = GetDlgItem(info.hwnd, id); b && IsWindowVisible(b)) {
            info.buttons.push_back(id);
            if ((GetWindowLongA(b, GWL_STYLE) & 0xF) == BS_DEFPUSHBUTTON) info.defaultButton = id;
        }
    for (HWND c = GetWindow(info.hwnd, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if ((GetWindowLongA(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON && IsWindowVisible(c)) {
            info.hasIcon = true;
            info.iconControl = c;
        }
    return info;
}

HWND Pendro::WaitPopupMenu(DWORD timeoutMs)
{
    HWND menu = nullptr;
    WaitFor([&] { return (menu = FindOwnWindow(m_pi.dwProcessId, "#32768", nullptr, nullptr)) != nullptr; }, timeoutMs);
    return menu;
}

bool Pendro::NoMessageBox(DWORD forMs)
{
    return !WaitFor([&] { return FindOwnWindow(m_pi.dwProcessId, "#32770", nullptr, m_main) != nullptr; }, forMs);
}

void Pendro::Answer(const MessageBoxInfo& box, int button)
{
    PostMessageA(GetDlgItem(box.hwnd, button), BM_CLICK, 0, 0);
    WaitFor([&] { return !IsWindow(box.hwnd); }, 5000);
}

DWORD Pendro::WaitExit(DWORD timeoutMs)
{
    WaitForSingleObject(m_pi.hProcess, timeoutMs);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(m_pi.hProcess, &code);
    return code;
}

bool Pendro::Running() { return WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT; }

ScreenPixels::ScreenPixels(RECT r)
    : rect(r), width(r.right - r.left), height(r.bottom - r.top), bits(static_cast<size_t>(width * height))
{
    HDC screen = GetDC(nullptr), mem = CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* data = nullptr;
    HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &data, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    if (data) std::memcpy(bits.data(), data, bits.size() * 4);
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
}

COLORREF ScreenPixels::At(int x, int y) const
{
    DWORD v = bits[static_cast<size_t>((y - rect.top) * width + (x - rect.left))];
    return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
}

POINT Pendro::PaintedClientOrigin()
{
    HWND w = Window();
    RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Sleep(400);
    POINT origin = {0, 0};
    ClientToScreen(w, &origin);
    return origin;
}

// Writes the window as a BMP file into PENDRO_SCREENSHOTS (a Unix path).
void Pendro::Screenshot(const std::string& name, HWND window)
{
    const char* dir = std::getenv("PENDRO_SCREENSHOTS");
    if (!dir) return;
    HWND w = window ? window : Window();
    RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Sleep(300);
    RECT r;
    GetWindowRect(w, &r);
    ScreenPixels shot(r);
    for (DWORD& v : shot.bits) v |= 0xFF000000;  // opaque: viewers may read the fourth byte as alpha
    BITMAPINFOHEADER bh = {sizeof bh, shot.width, -shot.height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    DWORD size = static_cast<DWORD>(shot.bits.size() * 4);
    BITMAPFILEHEADER fh{0x4D42, static_cast<DWORD>(sizeof fh + sizeof bh + size), 0, 0,
                        static_cast<DWORD>(sizeof fh + sizeof bh)};
    std::string path = testutil::WinPath(std::string(dir) + "/" + name + ".bmp");
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(&fh, sizeof fh, 1, f);
        std::fwrite(&bh, sizeof bh, 1, f);
        std::fwrite(shot.bits.data(), 1, size, f);
        std::fclose(f);
    }
}

DWORD RunToEnd(const std::string& args, DWORD timeoutMs)
{
    PROCESS_INFORMATION pi{};
    StartProcess(StartPath(), args, nullptr, nullptr, &pi);
    if (!pi.hProcess) return 0xFFFFFFFF;
    DWORD r = WaitForSingleObject(pi.hProcess, timeoutMs);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(pi.hProcess, &code);
    if (r == WAIT_TIMEOUT) TerminateProcess(pi.hProcess, 98);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return code;
}

}  // namespace e2e
