// The application object: command line, hand-off to a running instance, and
// creation of the main window.
#include "afxwin.h"
#include "app/command_line.h"
#include "handles.h"
#include "resource.h"
#include "ui/dialer_dlg.h"

#include <commctrl.h>

static const char kMainCaption[] = "Kelvane Pendro! - Version 1.0";
// Held by the instance that runs, for its whole life. A plain name: the
// Local\ namespace does not exist before Windows 2000.
static const char kInstanceMutex[] = "Kelvane Pendro! single instance";
// How long a later start waits for the first one's window before it shows
// its own. The first one enumerates the phonebook before it has a window, and
// the remote-access service it may have to start can take 15 s or more: a
// minute keeps that to one window, and a first start that hung before its
// window locks nobody out for longer.
static const DWORD kWaitForFirstWindowMs = 60000;

class CDialerApp : public CWinApp {
public:
    BOOL InitInstance() override;
    DECLARE_MESSAGE_MAP()

private:
    bool TakeInstance(HWND& running);
    CKernelHandle m_instance;
};

BEGIN_MESSAGE_MAP(CDialerApp, CWinApp)
    ON_COMMAND(ID_HELP, OnHelp)
END_MESSAGE_MAP()

// True when this instance is the one to run; otherwise running is the first
// one's window. Two starts at once (a double-click taken twice) are ordered by
// the mutex, not by who finds a window first.
bool CDialerApp::TakeInstance(HWND& running)
{
    running = nullptr;
    m_instance.Reset(CreateMutexA(nullptr, TRUE, kInstanceMutex));
    if (!m_instance) {
        // Another user's instance owns the name (Run as, an elevated start),
        // or another kind of object has it: wait on it if it can be opened
        // at all, else fall back to looking for the window.
        m_instance.Reset(OpenMutexA(SYNCHRONIZE, FALSE, kInstanceMutex));
        if (!m_instance) {
            running = FindWindowA(nullptr, kMainCaption);
            return !running;
        }
    } else if (GetLastError() != ERROR_ALREADY_EXISTS) {
        return true;
    }
    for (DWORD start = GetTickCount(); GetTickCount() - start < kWaitForFirstWindowMs;) {
        running = FindWindowA(nullptr, kMainCaption);
        if (running) return false;
        // The first one ended before it showed a window: this one runs.
        DWORD r = WaitForSingleObject(m_instance.Get(), 50);
        if (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED) return true;
    }
    // No window came: this start shows its own rather than drop its request.
    return true;
}

// COMCTL32 4.00 (Windows 95, NT 4.0 as installed) has no InitCommonControlsEx
// and would refuse to load a program importing it, so both are looked up.
// Before XP the DLL is neither a known DLL nor redirected: it comes from the
// system directory, never from the program's folder. From XP on it is loaded
// by name, which the manifest redirects to version 6 and its visual styles.
static void InitCommonControlsOfTheSystem()
{
    DWORD version = GetVersion();
    bool xpOrLater = !(version & 0x80000000) && MAKEWORD(HIBYTE(LOWORD(version)), LOBYTE(LOWORD(version))) >= 0x0501;
    char path[MAX_PATH + 16] = "comctl32.dll";
    if (!xpOrLater) {
        UINT n = GetSystemDirectoryA(path, MAX_PATH);
        if (n == 0 || n >= MAX_PATH) return;
        lstrcatA(path, "\\comctl32.dll");
    }
    HMODULE dll = LoadLibraryA(path);  // held for the life of the process
    if (!dll) return;
    using InitEx = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    using Init = void(WINAPI*)();
    if (auto initEx = reinterpret_cast<InitEx>(reinterpret_cast<void*>(GetProcAddress(dll, "InitCommonControlsEx")))) {
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
        initEx(&controls);
    } else if (auto init = reinterpret_cast<Init>(reinterpret_cast<void*>(GetProcAddress(dll, "InitCommonControls")))) {
        init();
    }
}

BOOL CDialerApp::InitInstance()
{
    // Before anything else, the phonebook's enumeration included.
    HWND running = nullptr;
    bool first = TakeInstance(running);

    CDialerCommandLineInfo cmdInfo;
    ParseCommandLine(cmdInfo);

    if (!first) {
        if (IsIconic(running)) ShowWindow(running, SW_RESTORE);
        SetForegroundWindow(running);
        // A request the first one cannot take (its window went, or it runs
        // elevated and its filter is missing) is carried out here instead.
        if (cmdInfo.m_strEntryName.IsEmpty() ||
            PostMessageA(running, WM_DIAL_ENTRY, static_cast<WPARAM>(cmdInfo.m_nEntryIndex), 0))
            return FALSE;
    }

    Enable3dControls();
    // With the manifest's Common Controls 6, XP wants the classes registered
    // before the first dialog is made.
    InitCommonControlsOfTheSystem();
    CDialerDlg* dlg = new CDialerDlg(&cmdInfo, nullptr);
    if (!dlg) return FALSE;
    m_pMainWnd = dlg;
    if (!dlg->Create(IDD_PENDRO_DIALOG, nullptr)) {
        m_pMainWnd = nullptr;
        delete dlg;
        return FALSE;
    }
    dlg->ShowWindow(SW_SHOW);
    if (!cmdInfo.m_strEntryName.IsEmpty())
        dlg->PostMessage(WM_DIAL_ENTRY, static_cast<WPARAM>(cmdInfo.m_nEntryIndex), 0);
    return TRUE;
}

CDialerApp theApp;
