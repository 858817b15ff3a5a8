// The application object: command line, hand-off to a running instance, and
// creation of the main window.
#include "afxwin.h"
#include "app/command_line.h"
#include "resource.h"
#include "ui/dialer_dlg.h"

#include <commctrl.h>

static const char kMainCaption[] = "Kelvane Pendro! - Version 1.0";

class CDialerApp : public CWinApp {
public:
    BOOL InitInstance() override;
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CDialerApp, CWinApp)
    ON_COMMAND(ID_HELP, OnHelp)
END_MESSAGE_MAP()

BOOL CDialerApp::InitInstance()
{
    CDialerCommandLineInfo cmdInfo;
    ParseCommandLine(cmdInfo);

    if (HWND running = FindWindowA(nullptr, kMainCaption)) {
        if (IsIconic(running)) ShowWindow(running, SW_RESTORE);
        SetForegroundWindow(running);
        if (!cmdInfo.m_strEntryName.IsEmpty())
            PostMessageA(running, WM_DIAL_ENTRY, static_cast<WPARAM>(cmdInfo.m_nEntryIndex), 0);
        return FALSE;
    }

    Enable3dControls();
    // With the manifest's Common Controls 6, XP wants the classes registered
    // before the first dialog is made.
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
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
