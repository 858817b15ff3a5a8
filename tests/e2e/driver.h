// Starts the real Pendro.exe in the test prefix and works it as a person
// would: by window captions, control identifiers, clicks and keys.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace e2e {

extern const char kCaption[];

struct MessageBoxInfo {
    HWND hwnd = nullptr;
    std::string caption, text;
    std::vector<int> buttons;  // identifiers of the buttons it offers
    int defaultButton = 0;
    bool hasIcon = false;
    HWND iconControl = nullptr;
};

// The system icon a message box shows, told by its pixels: MB_ICONHAND,
// MB_ICONQUESTION, MB_ICONEXCLAMATION, MB_ICONASTERISK, or 0 for none of them.
UINT IconKind(const MessageBoxInfo& box);

// The screen's pixels in a rectangle, read at once, top row first.
struct ScreenPixels {
    explicit ScreenPixels(RECT r);
    COLORREF At(int x, int y) const;  // screen coordinates within the rectangle
    RECT rect;
    int width, height;
    std::vector<DWORD> bits;  // 0x00RRGGBB
};

class Pendro {
public:
    // Starts the program with the given arguments; lang "de" starts it German.
    explicit Pendro(const std::string& args = "", const char* lang = nullptr);
    // A copy of the program elsewhere, started in the given working directory.
    Pendro(const std::string& exe, const std::string& args, const char* cwd);
    ~Pendro();
    Pendro(const Pendro&) = delete;
    Pendro& operator=(const Pendro&) = delete;

    HWND Window(DWORD timeoutMs = 15000);  // the main window, once it is idle
    HWND Item(int id);
    void Click(int id);
    std::string Text(int id);
    std::string Log() { return Text(1003); }
    std::vector<std::string> LogLines();
    bool Enabled(int id) { return IsWindowEnabled(Item(id)) != FALSE; }
    bool Visible(int id) { return IsWindowVisible(Item(id)) != FALSE; }
    std::string SelectedEntry();
    void Select(const std::string& entry);
    void TypeInto(int id, const std::string& chars);
    void Key(WPARAM vk, bool alt = false);  // to the focused control
    int FocusId();
    void Post(UINT msg, WPARAM w, LPARAM l) { PostMessageA(Window(), msg, w, l); }

    MessageBoxInfo WaitMessageBox(DWORD timeoutMs = 15000);
    HWND WaitPopupMenu(DWORD timeoutMs = 5000);  // an open menu of the program
    bool NoMessageBox(DWORD forMs);
    void Answer(const MessageBoxInfo& box, int button);
    // Waits until the process ends; STILL_ACTIVE when it did not.
    DWORD WaitExit(DWORD timeoutMs = 15000);
    bool Running();
    DWORD Pid() const { return m_pi.dwProcessId; }
    void Screenshot(const std::string& name, HWND window = nullptr);  // the main window by default
    // Where the main window's client area begins on the screen, once it has painted whole.
    POINT PaintedClientOrigin();

private:
    PROCESS_INFORMATION m_pi{};
    HWND m_main = nullptr;
};

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = 15000);
DWORD RunToEnd(const std::string& args, DWORD timeoutMs = 15000);  // a second instance
std::string PendroPath();
// Off: the programs started next run without the heap validation, for the
// few tests whose thousands of entries or notifications it makes too slow.
void ValidateHeap(bool on);
// Every program the driver started, for its heap errors.
std::vector<DWORD>& StartedPids();

}  // namespace e2e
