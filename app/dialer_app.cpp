#include "afxwin.h"
#include "resource.h"

class CTmpDlg : public CDialog {
public:
    CTmpDlg() : CDialog(IDD_PENDRO_DIALOG) {}
    void OnCancel() override { DestroyWindow(); }
    void PostNcDestroy() override { delete this; }
};

class CDialerApp : public CWinApp {
public:
    BOOL InitInstance() override
    {
        auto* dlg = new CTmpDlg;
        m_pMainWnd = dlg;
        if (!dlg->Create(IDD_PENDRO_DIALOG)) return FALSE;
        dlg->ShowWindow(SW_SHOW);
        return TRUE;
    }
};

CDialerApp theApp;
