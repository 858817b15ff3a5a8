// The least of an application framework that the program needs: command
// targets with message maps, windows, dialogs, controls, data exchange, the
// application object and its command line, on plain Win32.
#pragma once
#include "win.h"

#include "cstring.h"

class CCmdTarget;
class CWnd;
class CWinApp;

using AFX_PMSG = LRESULT (*)(CCmdTarget* target, WPARAM wParam, LPARAM lParam);

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;  // 0 ends the table
    UINT nCode;     // notification code of WM_COMMAND
    UINT nID;       // control or command id of WM_COMMAND
    AFX_PMSG pfn;
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* pBase;
    const AFX_MSGMAP_ENTRY* pEntries;
};

#define DECLARE_MESSAGE_MAP()                                  \
protected:                                                     \
    struct MapHelper;                                          \
    friend struct MapHelper;                                   \
    static const AFX_MSGMAP messageMap;                        \
    const AFX_MSGMAP* GetMessageMap() const override;

// The nested helper gives the handler thunks the class's own access rights.
#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                      \
    struct theClass::MapHelper {                                                    \
        using ThisClass = theClass;                                                 \
        static const AFX_MSGMAP_ENTRY entries[];                                    \
    };                                                                              \
    const AFX_MSGMAP theClass::messageMap = {&baseClass::messageMap, theClass::MapHelper::entries}; \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return &theClass::messageMap; } \
    const AFX_MSGMAP_ENTRY theClass::MapHelper::entries[] = {

#define END_MESSAGE_MAP() {0, 0, 0, nullptr}};

#define AFX_THUNK(body) \
    [](CCmdTarget* t, WPARAM wParam, LPARAM lParam) -> LRESULT { (void)wParam; (void)lParam; auto* self = static_cast<ThisClass*>(t); body }

#define ON_COMMAND(id, fn) {WM_COMMAND, 0, (id), AFX_THUNK(self->fn(); return 0;)},
#define ON_BN_CLICKED(id, fn) {WM_COMMAND, BN_CLICKED, (id), AFX_THUNK(self->fn(); return 0;)},
#define ON_WM_PAINT() {WM_PAINT, 0, 0, AFX_THUNK(self->OnPaint(); return 0;)},
#define ON_WM_TIMER() {WM_TIMER, 0, 0, AFX_THUNK(self->OnTimer(static_cast<UINT>(wParam)); return 0;)},
#define ON_WM_SYSCOMMAND() {WM_SYSCOMMAND, 0, 0, AFX_THUNK(self->OnSysCommand(static_cast<UINT>(wParam), lParam); return 0;)},
#define ON_WM_QUERYDRAGICON() {WM_QUERYDRAGICON, 0, 0, AFX_THUNK(return reinterpret_cast<LRESULT>(self->OnQueryDragIcon());)},

#ifndef ID_HELP
#define ID_HELP 0xE146
#endif

class CCmdTarget {
public:
    virtual ~CCmdTarget() = default;
    // Looks the message up in this class's map and its bases'; true when handled.
    bool OnCmdMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

protected:
    static const AFX_MSGMAP messageMap;
    virtual const AFX_MSGMAP* GetMessageMap() const;
};

class CWnd : public CCmdTarget {
public:
    HWND m_hWnd = nullptr;

    CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    operator HWND() const { return m_hWnd; }

    HWND GetDlgItemHwnd(int id) const { return ::GetDlgItem(m_hWnd, id); }
    BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
    BOOL ShowWindow(int cmd) { return ::ShowWindow(m_hWnd, cmd); }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    LRESULT SendMessage(UINT m, WPARAM w = 0, LPARAM l = 0) const { return ::SendMessageA(m_hWnd, m, w, l); }
    BOOL PostMessage(UINT m, WPARAM w = 0, LPARAM l = 0) const { return ::PostMessageA(m_hWnd, m, w, l); }
    int MessageBox(const char* text, const char* caption = nullptr, UINT type = MB_OK);
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse, TIMERPROC proc) { return ::SetTimer(m_hWnd, id, elapse, proc); }
    BOOL KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }
    void GetClientRect(RECT* r) const { ::GetClientRect(m_hWnd, r); }
    HMENU GetSystemMenu(BOOL revert) const { return ::GetSystemMenu(m_hWnd, revert); }
    virtual BOOL DestroyWindow();

    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    // The window procedure of the framework: the message map, then the default.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // The dialog manager's own handling of the message being processed.
    LRESULT Default();

protected:
    friend class CDataExchange;
    friend INT_PTR CALLBACK AfxDlgProc(HWND, UINT, WPARAM, LPARAM);
    virtual void DoDataExchange(class CDataExchange* pDX) { (void)pDX; }
    virtual bool OnCommand(WPARAM wParam, LPARAM lParam);
    virtual void PostNcDestroy() {}
};

class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, CWnd* parent = nullptr) : m_nIDTemplate(templateId), m_pParent(parent) {}
    ~CDialog() override;

    INT_PTR DoModal();
    BOOL Create(UINT templateId, CWnd* parent = nullptr);  // modeless

    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    void EndDialog(int result);

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

protected:
    bool OnCommand(WPARAM wParam, LPARAM lParam) override;

    UINT m_nIDTemplate;
    CWnd* m_pParent;
    bool m_bModal = false;
};

class CButton : public CWnd {};

class CEdit : public CWnd {};

class CComboBox : public CWnd {
public:
    int SetCurSel(int i) { return static_cast<int>(SendMessage(CB_SETCURSEL, static_cast<WPARAM>(i))); }
    int AddString(const char* s) { return static_cast<int>(SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s))); }
    int SelectString(int start, const char* s)
    {
        return static_cast<int>(SendMessage(CB_SELECTSTRING, static_cast<WPARAM>(start), reinterpret_cast<LPARAM>(s)));
    }
    void GetLBText(int index, CString& out) const;
};

class CBitmap {
public:
    CBitmap() = default;
    CBitmap(const CBitmap&) = delete;
    CBitmap& operator=(const CBitmap&) = delete;
    ~CBitmap() { DeleteObject(); }
    BOOL LoadBitmap(UINT id);
    void Attach(HBITMAP h)  // takes ownership
    {
        DeleteObject();
        m_h = h;
    }
    void DeleteObject();
    HBITMAP GetSafeHandle() const { return m_h; }
    operator HBITMAP() const { return m_h; }

private:
    HBITMAP m_h = nullptr;
};

class CDataExchange {
public:
    CDataExchange(CWnd* dlg, bool save) : m_pDlgWnd(dlg), m_bSaveAndValidate(save) {}
    CWnd* m_pDlgWnd;
    bool m_bSaveAndValidate;
};

void DDX_Control(CDataExchange* pDX, int id, CWnd& control);
void DDX_Text(CDataExchange* pDX, int id, CString& value);
void DDX_CBIndex(CDataExchange* pDX, int id, int& index);
void DDX_Check(CDataExchange* pDX, int id, int& value);

class CCommandLineInfo {
public:
    virtual ~CCommandLineInfo() = default;
    // One call per argument; for a switch the text starts just past its
    // leading '/' or '-', which stays in the same string one byte before.
    // (argument, switch, last argument); the framework's own keeps nothing.
    virtual void ParseParam(const char*, BOOL, BOOL) {}
};

class CWinApp : public CCmdTarget {
public:
    explicit CWinApp(const char* appName = nullptr);
    ~CWinApp() override;

    virtual BOOL InitInstance() { return FALSE; }
    virtual int Run();
    void ParseCommandLine(CCommandLineInfo& info);
    // Kept for the caller's sake: common controls look three-dimensional anyway.
    BOOL Enable3dControls() { return TRUE; }
    void OnHelp() {}

    HINSTANCE m_hInstance = nullptr;
    CWnd* m_pMainWnd = nullptr;
    CString m_strAppName;

    // Command line split the way the C runtime does it; index 0 is the program.
    int m_argc = 0;
    char** m_argv = nullptr;
};

// The string of the resource table by number; empty when it is absent.
CString LoadText(UINT id);

CWinApp* AfxGetApp();
HINSTANCE AfxGetResourceHandle();
int AfxWinMain(HINSTANCE instance, int argc, char** argv);
