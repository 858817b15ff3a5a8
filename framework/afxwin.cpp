#include "afxwin.h"

#include <cstdlib>

namespace {
CWinApp* g_pApp = nullptr;

// The message being dispatched, kept outside the window objects as the
// framework keeps it per thread: a handler may destroy its window and delete
// the object, and what is restored after it returns must not live there.
// Every window of the program lives on its one user-interface thread.
struct Msg {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
struct ThreadState {
    Msg cur;             // for Default()
    Msg pendingDefault;  // re-entry of the dialog manager from Default()
    bool inDefault;
};
ThreadState t_state{};
}  // namespace

CWinApp* AfxGetApp() { return g_pApp; }
HINSTANCE AfxGetResourceHandle() { return GetModuleHandleA(nullptr); }

// ---- command targets ------------------------------------------------------

const AFX_MSGMAP_ENTRY kNoEntries[] = {{0, 0, 0, nullptr}};
const AFX_MSGMAP CCmdTarget::messageMap = {nullptr, kNoEntries};
const AFX_MSGMAP* CCmdTarget::GetMessageMap() const { return &messageMap; }

bool CCmdTarget::OnCmdMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    for (const AFX_MSGMAP* map = GetMessageMap(); map; map = map->pBase) {
        for (const AFX_MSGMAP_ENTRY* e = map->pEntries; e->nMessage; ++e) {
            if (e->nMessage != message) continue;
            if (message == WM_COMMAND && (e->nID != LOWORD(wParam) || e->nCode != HIWORD(wParam))) continue;
            *result = e->pfn(this, wParam, lParam);
            return true;
        }
    }
    return false;
}

// ---- windows --------------------------------------------------------------

int CWnd::MessageBox(const char* text, const char* caption, UINT type)
{
    return ::MessageBoxA(m_hWnd, text, caption, type);
}

BOOL CWnd::DestroyWindow() { return m_hWnd ? ::DestroyWindow(m_hWnd) : FALSE; }

BOOL CWnd::UpdateData(BOOL saveAndValidate)
{
    CDataExchange dx(this, saveAndValidate != FALSE);
    DoDataExchange(&dx);
    return TRUE;
}

bool CWnd::OnCommand(WPARAM wParam, LPARAM lParam)
{
    // Commands that no window handles go to the application, as in the framework.
    LRESULT r;
    CWinApp* app = AfxGetApp();
    return app && app->OnCmdMsg(WM_COMMAND, wParam, lParam, &r);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    ThreadState& state = t_state;
    Msg saved = state.cur;
    state.cur = {m_hWnd, message, wParam, lParam};
    LRESULT result = 0;
    bool handled = OnCmdMsg(message, wParam, lParam, &result);
    if (!handled && message == WM_COMMAND) handled = OnCommand(wParam, lParam);
    if (!handled) result = Default();
    state.cur = saved;  // never through this: the handler may have deleted it
    return result;
}

LRESULT CWnd::Default()
{
    ThreadState& state = t_state;
    if (!m_hWnd || state.cur.hwnd != m_hWnd) return 0;
    // DefDlgProc calls our dialog procedure first; that call is recognised and
    // declined, so the dialog manager does its own work exactly once.
    Msg savedPending = state.pendingDefault;
    bool savedIn = state.inDefault;
    Msg cur = state.cur;
    state.pendingDefault = cur;
    state.inDefault = true;
    LRESULT r = ::DefDlgProcA(cur.hwnd, cur.message, cur.wParam, cur.lParam);
    state.pendingDefault = savedPending;
    state.inDefault = savedIn;
    return r;
}

static bool ReturnsDirectly(UINT m)
{
    switch (m) {
    case WM_CTLCOLORMSGBOX: case WM_CTLCOLOREDIT: case WM_CTLCOLORLISTBOX: case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG: case WM_CTLCOLORSCROLLBAR: case WM_CTLCOLORSTATIC: case WM_COMPAREITEM:
    case WM_VKEYTOITEM: case WM_CHARTOITEM: case WM_QUERYDRAGICON: case WM_INITDIALOG:
        return true;
    default:
        return false;
    }
}

INT_PTR CALLBACK AfxDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWnd* wnd;
    if (message == WM_INITDIALOG) {
        wnd = reinterpret_cast<CWnd*>(lParam);
        SetWindowLongPtrA(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(wnd));
        wnd->m_hWnd = hwnd;
    } else {
        wnd = reinterpret_cast<CWnd*>(GetWindowLongPtrA(hwnd, DWLP_USER));
    }
    if (!wnd) return FALSE;

    ThreadState& state = t_state;
    const Msg& pending = state.pendingDefault;
    if (state.inDefault && pending.hwnd == hwnd && pending.message == message && pending.wParam == wParam &&
        pending.lParam == lParam) {
        state.inDefault = false;  // this is the dialog manager asking back: decline
        return FALSE;
    }

    LRESULT result = wnd->WindowProc(message, wParam, lParam);

    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(hwnd, DWLP_USER, 0);
        wnd->m_hWnd = nullptr;
        CWinApp* app = AfxGetApp();
        if (app && app->m_pMainWnd == wnd) {
            app->m_pMainWnd = nullptr;
            PostQuitMessage(0);
        }
        wnd->PostNcDestroy();  // may delete the object
        return TRUE;
    }
    if (ReturnsDirectly(message)) return static_cast<INT_PTR>(result);
    SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, result);
    return TRUE;
}

// ---- dialogs --------------------------------------------------------------

CDialog::~CDialog()
{
    if (m_hWnd) {
        SetWindowLongPtrA(m_hWnd, DWLP_USER, 0);
        HWND h = m_hWnd;
        m_hWnd = nullptr;
        ::DestroyWindow(h);
    }
}

INT_PTR CDialog::DoModal()
{
    m_bModal = true;
    INT_PTR r = DialogBoxParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_nIDTemplate),
                                m_pParent ? m_pParent->m_hWnd : nullptr, AfxDlgProc, reinterpret_cast<LPARAM>(this));
    m_bModal = false;
    return r;
}

BOOL CDialog::Create(UINT templateId, CWnd* parent)
{
    m_nIDTemplate = templateId;
    m_pParent = parent;
    m_bModal = false;
    HWND h = CreateDialogParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(templateId), parent ? parent->m_hWnd : nullptr,
                                AfxDlgProc, reinterpret_cast<LPARAM>(this));
    return h != nullptr;
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    UpdateData(TRUE);
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::EndDialog(int result)
{
    if (m_bModal) ::EndDialog(m_hWnd, result);
    else DestroyWindow();
}

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) return OnInitDialog();
    return CWnd::WindowProc(message, wParam, lParam);
}

bool CDialog::OnCommand(WPARAM wParam, LPARAM lParam)
{
    if (HIWORD(wParam) == BN_CLICKED) {
        if (LOWORD(wParam) == IDOK) {
            OnOK();
            return true;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            OnCancel();
            return true;
        }
    }
    return CWnd::OnCommand(wParam, lParam);
}

// ---- controls and data exchange ---------------------------------------------

void CComboBox::GetLBText(int index, CString& out) const
{
    LRESULT n = SendMessage(CB_GETLBTEXTLEN, static_cast<WPARAM>(index));
    if (n == CB_ERR) {
        out.Empty();
        return;
    }
    char* buf = out.GetBuffer(static_cast<int>(n));
    if (!buf) {
        out.Empty();  // never the text of an earlier call
        return;
    }
    LRESULT got = SendMessage(CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buf));
    out.ReleaseBuffer(got == CB_ERR ? 0 : static_cast<int>(got));
}

BOOL CBitmap::LoadBitmap(UINT id)
{
    DeleteObject();
    m_h = ::LoadBitmapA(AfxGetResourceHandle(), MAKEINTRESOURCEA(id));
    return m_h != nullptr;
}

void CBitmap::DeleteObject()
{
    if (m_h) ::DeleteObject(m_h);
    m_h = nullptr;
}

void DDX_Control(CDataExchange* pDX, int id, CWnd& control)
{
    if (!control.m_hWnd) control.m_hWnd = ::GetDlgItem(pDX->m_pDlgWnd->m_hWnd, id);
}

void DDX_Text(CDataExchange* pDX, int id, CString& value)
{
    HWND h = ::GetDlgItem(pDX->m_pDlgWnd->m_hWnd, id);
    if (!h) return;
    if (pDX->m_bSaveAndValidate) {
        int n = ::GetWindowTextLengthA(h);
        char* buf = value.GetBuffer(n);
        if (!buf) return;
        int got = ::GetWindowTextA(h, buf, n + 1);
        value.ReleaseBuffer(got < 0 ? 0 : got);
    } else {
        ::SetWindowTextA(h, value);
    }
}

void DDX_CBIndex(CDataExchange* pDX, int id, int& index)
{
    HWND h = ::GetDlgItem(pDX->m_pDlgWnd->m_hWnd, id);
    if (!h) return;
    if (pDX->m_bSaveAndValidate) index = static_cast<int>(::SendMessageA(h, CB_GETCURSEL, 0, 0));
    else ::SendMessageA(h, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void DDX_Check(CDataExchange* pDX, int id, int& value)
{
    HWND h = ::GetDlgItem(pDX->m_pDlgWnd->m_hWnd, id);
    if (!h) return;
    if (pDX->m_bSaveAndValidate) value = static_cast<int>(::SendMessageA(h, BM_GETCHECK, 0, 0));
    else ::SendMessageA(h, BM_SETCHECK, static_cast<WPARAM>(value), 0);
}

// ---- application ----------------------------------------------------------

CWinApp::CWinApp(const char* appName)
{
    g_pApp = this;
    if (appName) m_strAppName = appName;
}

CWinApp::~CWinApp()
{
    if (g_pApp == this) g_pApp = nullptr;
}

void CWinApp::ParseCommandLine(CCommandLineInfo& info)
{
    for (int i = 1; i < m_argc; ++i) {
        const char* p = m_argv[i];
        BOOL flag = (p[0] == '/' || p[0] == '-');
        if (flag) ++p;
        info.ParseParam(p, flag, i + 1 == m_argc);
    }
}

int CWinApp::Run()
{
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        // The main window is modeless: let the dialog manager see its keys so that
        // Tab, Enter, Escape and the mnemonics work.
        if (m_pMainWnd && m_pMainWnd->m_hWnd && IsDialogMessageA(m_pMainWnd->m_hWnd, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}

int AfxWinMain(HINSTANCE instance, int argc, char** argv)
{
    CWinApp* app = AfxGetApp();
    if (!app) return 1;
    app->m_hInstance = instance;
    app->m_argc = argc;
    app->m_argv = argv;
    if (app->m_strAppName.IsEmpty()) {
        // The framework's default application name: the module's base name.
        char path[MAX_PATH] = "";
        GetModuleFileNameA(nullptr, path, MAX_PATH);
        CString p(path);
        int slash = p.ReverseFind('\\');
        CString name = p.Mid(slash + 1);
        int dot = name.ReverseFind('.');
        app->m_strAppName = dot >= 0 ? name.Left(dot) : name;
    }
    if (!app->InitInstance()) return 0;
    return app->Run();
}
