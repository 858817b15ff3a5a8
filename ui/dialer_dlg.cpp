#include "dialer_dlg.h"

#include "app/command_line.h"
#include "dial_timing.h"
#include "handles.h"
#include "ras/ras_dialer.h"
#include "ras/ras_texts.h"
#include "resource.h"
#include "ui/about_dlg.h"
#include "ui/password_dlg.h"
#include "vault/password_store.h"

HWND g_hMainWnd = nullptr;

void WINAPI RasDialNotify(UINT unMsg, RASCONNSTATE state, DWORD dwError)
{
    (void)unMsg;
    PostMessageA(g_hMainWnd, WM_DIAL_STATE, static_cast<WPARAM>(state), static_cast<LPARAM>(dwError));
}

bool GetDefaultEntry(CString& name)
{
    name.Empty();
    CRegKeyHandle key;
    if (key.Open(HKEY_CURRENT_USER, "RemoteAccess", KEY_READ) != ERROR_SUCCESS) return false;
    LONG r = key.QueryStringValue(name, CString("Default"));
    key.Close();
    if (r == ERROR_SUCCESS && !name.IsEmpty()) return true;
    name.Empty();
    return false;
}

BEGIN_MESSAGE_MAP(CDialerDlg, CDialog)
    ON_WM_SYSCOMMAND()
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_BN_CLICKED(IDC_DIAL, OnDial)
    ON_WM_TIMER()
    ON_BN_CLICKED(IDC_CANCEL_DIAL, OnCancelButton)
    ON_BN_CLICKED(IDC_CLICKHERE, OnClickHere)
    ON_BN_CLICKED(IDC_PASSWORD, OnPassword)
    ON_BN_CLICKED(IDC_SHORTCUT, OnDesktopShortcut)
END_MESSAGE_MAP()

CDialerDlg::CDialerDlg(CDialerCommandLineInfo* pCmdInfo, CWnd* pParent)
    : CDialog(IDD_PENDRO_DIALOG, pParent), m_pCmdInfo(pCmdInfo)
{
    HINSTANCE inst = AfxGetResourceHandle();
    m_hIcon = LoadIconA(inst, MAKEINTRESOURCEA(IDI_PENDRO));
    m_cxIcon = GetSystemMetrics(SM_CXICON);
    // At the system's small-icon size, 16 by 16 at 96 DPI: the loader picks
    // the nearest image and scales it.
    m_cxIconSmall = GetSystemMetrics(SM_CXSMICON);
    m_hIconSmall = static_cast<HICON>(LoadImageA(inst, MAKEINTRESOURCEA(IDI_PENDRO), IMAGE_ICON, m_cxIconSmall,
                                                 GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    m_bWin2000 = (pCmdInfo && pCmdInfo->m_bWin2000Switch) || IsWindows2000OrLater();
}

CDialerDlg::~CDialerDlg()
{
    if (m_hIconSmall) DestroyIcon(m_hIconSmall);  // loaded unshared; the large one is shared unless owned
    if (m_hIcon && m_bIconOwned) DestroyIcon(m_hIcon);
}

void CDialerDlg::DoDataExchange(CDataExchange* pDX)
{
    DDX_Control(pDX, IDC_SHORTCUT, m_btnShortcut);
    DDX_Control(pDX, IDC_LOG, m_editLog);
    DDX_Control(pDX, IDC_PASSWORD, m_btnPassword);
    DDX_Control(pDX, IDC_PREFIX, m_editPrefix);
    DDX_Control(pDX, IDC_CLICKHERE, m_btnClickHere);
    DDX_Control(pDX, IDC_CANCEL_DIAL, m_btnCancel);
    DDX_Control(pDX, IDCANCEL, m_btnQuit);
    DDX_Control(pDX, IDC_DIAL, m_btnDial);
    DDX_Control(pDX, IDC_ENTRY, m_comboEntry);
    DDX_Text(pDX, IDC_LOG, m_strLog);
    DDX_CBIndex(pDX, IDC_ENTRY, m_nEntrySel);
    DDX_Text(pDX, IDC_PREFIX, m_strPrefix);
}

void CDialerDlg::PostNcDestroy() { delete this; }

BOOL CDialerDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    if (HMENU menu = GetSystemMenu(FALSE)) {
        CString about = LoadText(IDS_ABOUTBOX);
        if (!about.IsEmpty()) {
            AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
            AppendMenuA(menu, MF_STRING, IDM_ABOUTBOX, about);
        }
    }
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIconSmall));
    m_bmpPromo.LoadBitmap(IDB_PROMO);
    // Added to line by line, past the 30,000 characters an edit takes by default.
    m_editLog.SendMessage(EM_LIMITTEXT, 0);
    ApplyDpi(WindowDpi(m_hWnd));
    SetIdleState();
    if (m_bWin2000) m_btnPassword.ShowWindow(SW_SHOW);

    m_settings.SetKeyPath(LoadText(IDS_REG_KEY));
    m_settings.Load();
    m_settings.SelectName(LoadText(IDS_REG_DIALPREFIX));
    m_settings.GetNextValue(m_strPrefix);
    UpdateData(FALSE);

    CNameList names;
    m_bEntryListWhole = EnumPhonebookEntries(names, nullptr);
    if (m_bEntryListWhole) {
        CString preselect;
        if (m_pCmdInfo && !m_pCmdInfo->m_strEntryName.IsEmpty()) {
            preselect = m_pCmdInfo->m_strEntryName;
        } else {
            m_settings.SelectName(LoadText(IDS_REG_DEFAULTENTRY));
            if (!m_settings.GetNextValue(preselect) || preselect.IsEmpty()) GetDefaultEntry(preselect);
        }
        int added = 0;
        for (int i = 0; i < names.GetCount(); ++i)
            if (m_comboEntry.AddString(names.GetAt(i)) >= 0) ++added;
            else m_bEntryListWhole = false;
        if (added > 0) PreselectEntry(preselect);
    }

    g_hMainWnd = m_hWnd;
    // From Vista on, a later start that is not elevated may post its request
    // to this window when it is only if the window lets the message in.
    using FilterEx = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
    using Filter = BOOL(WINAPI*)(UINT, DWORD);
    constexpr DWORD kAllow = 1;  // MSGFLT_ALLOW, and MSGFLT_ADD for the older call
    if (auto filterEx = SystemFunction<FilterEx>("user32.dll", "ChangeWindowMessageFilterEx"))  // 7 and later
        filterEx(m_hWnd, WM_DIAL_ENTRY, kAllow, nullptr);
    else if (auto filter = SystemFunction<Filter>("user32.dll", "ChangeWindowMessageFilter"))  // Vista
        filter(WM_DIAL_ENTRY, kAllow);
    SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(m_btnDial.m_hWnd), TRUE);
    return FALSE;
}

// The entry of that name in any letter case, as the registry that stored the
// name matches it; else the first that begins with it, as the list matches.
void CDialerDlg::PreselectEntry(const CString& name)
{
    int count = static_cast<int>(m_comboEntry.SendMessage(CB_GETCOUNT));
    for (int i = 0; i < count; ++i) {
        CString item;
        m_comboEntry.GetLBText(i, item);
        if (!name.IsEmpty() && item.CompareNoCase(name) == 0) {
            m_comboEntry.SetCurSel(i);
            return;
        }
    }
    if (m_comboEntry.SelectString(-1, name) == CB_ERR) m_comboEntry.SetCurSel(0);
}

// The icons and the panel's bitmap for the DPI of the monitor the window is
// on. At the system's DPI the icons stay as loaded; at 96 DPI the bitmap is
// drawn as it is.
void CDialerDlg::ApplyDpi(UINT dpi)
{
    m_nDpi = dpi;
    for (int pass = 0; pass < 2; ++pass) {
        bool big = pass == 0;
        int& loaded = big ? m_cxIcon : m_cxIconSmall;
        int cx = MetricForDpi(big ? SM_CXICON : SM_CXSMICON, dpi);
        if (cx == loaded) continue;
        HICON icon = static_cast<HICON>(LoadImageA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDI_PENDRO), IMAGE_ICON,
                                                   cx, MetricForDpi(big ? SM_CYICON : SM_CYSMICON, dpi), LR_DEFAULTCOLOR));
        if (!icon) continue;  // the one there stays
        SendMessage(WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon));
        HICON& slot = big ? m_hIcon : m_hIconSmall;
        if (slot && (!big || m_bIconOwned)) DestroyIcon(slot);
        slot = icon;
        loaded = cx;
        if (big) m_bIconOwned = true;
    }
    // Scaled once per DPI, not at every paint; without it the bitmap is drawn unscaled.
    m_bmpPromoScaled.Attach(dpi != 96 && m_bmpPromo.GetSafeHandle() ? ScaleBitmapForDpi(m_bmpPromo, dpi) : nullptr);
}

void CDialerDlg::SetIdleState()
{
    m_btnDial.EnableWindow(TRUE);
    m_btnCancel.EnableWindow(FALSE);
    m_btnQuit.EnableWindow(TRUE);
    m_btnPassword.EnableWindow(TRUE);
    m_btnShortcut.EnableWindow(TRUE);
    m_comboEntry.EnableWindow(TRUE);
    m_editPrefix.EnableWindow(TRUE);
    m_btnClickHere.EnableWindow(TRUE);
    m_editLog.SendMessage(EM_SETSEL, static_cast<WPARAM>(-1), 0);
    m_editLog.SendMessage(EM_SCROLLCARET);
    // Disabling the focused button leaves the keyboard nowhere; give it back.
    HWND focus = GetFocus();
    if (!focus || !IsWindowEnabled(focus)) SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(m_btnDial.m_hWnd), TRUE);
}

void CDialerDlg::SetDialingState()
{
    m_btnPassword.EnableWindow(FALSE);
    m_btnDial.EnableWindow(FALSE);
    m_btnQuit.EnableWindow(FALSE);
    m_btnShortcut.EnableWindow(FALSE);
    m_comboEntry.EnableWindow(FALSE);
    m_editPrefix.EnableWindow(FALSE);
    m_btnCancel.EnableWindow(TRUE);
    HWND focus = GetFocus();
    if (!focus || !IsWindowEnabled(focus))
        SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(m_btnCancel.m_hWnd), TRUE);
}

void CDialerDlg::SaveSettings()
{
    m_settings.SelectName(LoadText(IDS_REG_DEFAULTENTRY));
    UpdateData(TRUE);
    CString entry;
    if (m_nEntrySel != -1) m_comboEntry.GetLBText(m_nEntrySel, entry);
    // Nothing selected because the entries could not all be had (the service
    // failed, memory ran out): the stored choice stays rather than a blank.
    if (m_nEntrySel != -1 || m_bEntryListWhole) m_settings.SetValue(entry);
    m_settings.SelectName(LoadText(IDS_REG_DIALPREFIX));
    m_settings.SetValue(m_strPrefix);
    m_settings.Save();
}

void CDialerDlg::OnCancel()
{
    if (RunInProgress()) return;
    SaveSettings();
    DestroyWindow();
}

void CDialerDlg::OnCancelButton()
{
    if (m_nTimerId) {
        KillTimer(m_nTimerId);
        m_nTimerId = 0;
    }
    HangUpConnection(m_hRasConn);
    m_bDialing = false;
    m_strPassword.Empty();
    SetIdleState();
}

void CDialerDlg::OnPaint()
{
    if (IsIconic()) {
        CPaintDC dc(m_hWnd);
        SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.Get()), 0);
        RECT rect;
        GetClientRect(&rect);
        int cx = MetricForDpi(SM_CXICON, m_nDpi), cy = MetricForDpi(SM_CYICON, m_nDpi);
        int x = (rect.right - rect.left - cx + 1) / 2;
        int y = (rect.bottom - rect.top - cy + 1) / 2;
        DrawIcon(dc.Get(), x, y, m_hIcon);
        return;
    }
    Default();
    if (m_bmpPromo.GetSafeHandle()) {
        // At (16, 16) at 96 DPI, and as far in at any other.
        HBITMAP bitmap = m_bmpPromoScaled.GetSafeHandle() ? m_bmpPromoScaled.GetSafeHandle() : m_bmpPromo.GetSafeHandle();
        int at = m_bmpPromoScaled.GetSafeHandle() ? MulDiv(16, static_cast<int>(m_nDpi), 96) : 16;
        CClientDC dc(m_hWnd);
        if (dc.Get()) DrawTransparentBitmap(dc.Get(), bitmap, at, at, RGB(192, 192, 192));
    }
}

HCURSOR CDialerDlg::OnQueryDragIcon() { return m_hIcon; }

void CDialerDlg::OnSysCommand(UINT nID, LPARAM lParam)
{
    (void)lParam;
    if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about(this);
        about.DoModal();
    } else {
        Default();
    }
}

void CDialerDlg::OnClickHere()
{
    CRasDialer dialer;
    HRASCONN conn = nullptr;
    if (dialer.FindActiveConnection(&conn) && IsConnected(&conn)) {
        OpenHomepage();
        return;
    }
    m_bOpenHomepage = true;
    MessageBox(LoadText(IDS_THANKYOU), LoadText(IDS_APPNAME), MB_ICONINFORMATION | MB_OK);
}

void CDialerDlg::AppendLog(const CString& line)
{
    m_strLog += line;
    m_strLog += "\r\n";
}

// ---- the dial sequence ------------------------------------------------------

void CDialerDlg::OnDial()
{
    // A click or dial request that arrives while a run is in progress, also
    // during Dial's own questions, would start a second run inside the first
    // (and store one entry's password under another): ignore it.
    if (RunInProgress()) return;
    m_bInDial = true;
    BeginRun();
    m_bInDial = false;
}

void CDialerDlg::BeginRun()
{
    UpdateData(TRUE);
    ClearLog();
    UpdateData(FALSE);
    if (m_nEntrySel == -1) return;
    m_comboEntry.GetLBText(m_nEntrySel, m_strEntry);
    if (m_strEntry.IsEmpty()) return;

    {
        CRasDialer dialer;
        HRASCONN conn = nullptr;
        if (dialer.FindActiveConnection(&conn) && IsConnected(&conn)) {
            CString device, text;
            GetConnectionDeviceName(&conn, device);
            text.Format(LoadText(IDS_ALREADY_CONNECTED), device.c_str());
            if (MessageBox(text, LoadText(IDS_APPNAME), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) return;
            HangUpConnection(conn);
        }
    }

    SetDialingState();
    {
        // What cannot be read stays empty: left over from the last run, another
        // entry's login would be written back into this one after a failure.
        m_strUserName.Empty();
        m_strPassword.Empty();
        CRasDialer dialer;
        // Only what was read is written back: an empty field in its place
        // would overwrite the entry's own.
        m_bUserNameRead = dialer.GetEntryUserName(m_strEntry, m_strUserName, nullptr);
        m_bPasswordRead = dialer.GetEntryPassword(m_strEntry, m_strPassword, nullptr);
    }
    if (m_bWin2000) {
        bool noPassword = false;
        if (LoadProviderPassword(m_strEntry, m_strPassword, noPassword)) {
            m_strPassword.Blank();
        } else {
            m_bPasswordCancelled = false;
            OnPassword();
            if (m_bPasswordCancelled) {
                SetIdleState();
                return;
            }
        }
    }
    m_nAttempt = 0;
    m_bDialing = true;
    StartAttempt();
}

void CDialerDlg::StartAttempt()
{
    ++m_nAttempt;
    if (m_nAttempt > 1) {
        if (!HasConnectedOnce()) {
            if (MessageBox(LoadText(IDS_REDIAL_QUESTION), LoadText(IDS_APPNAME), MB_YESNO | MB_ICONEXCLAMATION) !=
                IDYES) {
                m_dwPrevError = 0;
                EndRun();
                return;
            }
        }
    }
    ClearLog();
    CString header;
    header.Format(LoadText(IDS_ATTEMPT_HEADER), m_nAttempt, MAX_DIAL_ATTEMPTS);
    AppendLog(header);
    if (m_dwPrevError) AppendLog(LoadText(IDS_PREVIOUS_ERROR) + ": " + RasErrorText(m_dwPrevError));
    ShowLog();

    m_dwRasError = 0;
    m_nRasState = 0;
    m_dwAttemptStart = GetTickCount();
    CRasDialer dialer;
    if (!dialer.Dial(m_strEntry, &m_hRasConn, RasDialNotify, m_strPrefix.IsEmpty() ? nullptr : &m_strPrefix,
                     nullptr)) {
        CString text = RasErrorText(dialer.GetLastRasError());
        if (!text.IsEmpty()) {
            AppendLog(text);
            ShowLog();
        }
        m_hRasConn = nullptr;
        EndRun();
        return;
    }
    if (m_nTimerId) {
        KillTimer(m_nTimerId);
        m_nTimerId = 0;
    }
    m_nTimerId = SetTimer(kDialTimerId, kDialTimerPeriodMs, nullptr);
    if (!m_nTimerId) {
        // Without its timer the attempt would never be seen to connect or fail.
        HangUpConnection(m_hRasConn);
        m_hRasConn = nullptr;
        AppendLog(LoadText(IDS_CONNECT_ERROR) + "!");
        ShowLog();
        EndRun();
    }
}

// The entry is in "DialEntryOK" in any letter case: a phonebook entry renamed
// only in case is the one that connected. Leaves that name selected.
bool CDialerDlg::HasConnectedOnce()
{
    m_settings.SelectName(LoadText(IDS_REG_DIALENTRYOK));
    CString name;
    while (m_settings.GetNextValue(name))
        if (name.CompareNoCase(m_strEntry) == 0) return true;
    return false;
}

void CDialerDlg::EndRun()
{
    m_bDialing = false;
    m_strPassword.Empty();  // wiped; the next run reads it again
    SetIdleState();
}

void CDialerDlg::OnTimer(UINT nIDEvent)
{
    (void)nIDEvent;
    if (!m_bDialing) return;  // a tick queued before the run ended
    if (IsConnected(&m_hRasConn)) {
        if (m_nTimerId) KillTimer(m_nTimerId);
        m_nTimerId = 0;
        if (!HasConnectedOnce()) m_settings.AddValue(m_strEntry);
        m_bDialing = false;
        m_dwPrevError = 0;
        m_strPassword.Empty();
        SetIdleState();
        SaveSettings();
        if (m_bOpenHomepage) OpenHomepage();
        OnCancel();
        return;
    }
    bool failed = m_nRasState == RASCS_Disconnected || m_dwRasError != 0;
    if (!failed) {
        if (!DialTimedOut(GetTickCount(), m_dwAttemptStart, m_nDialTimeout)) return;
        KillTimer(m_nTimerId);
        m_nTimerId = 0;
        HangUpConnection(m_hRasConn);
        CString reason = LoadText(IDS_DIAL_TIMEOUT);
        AppendLog(LoadText(IDS_CONNECT_ERROR) + (reason.IsEmpty() ? CString("!") : ": " + reason));
        ShowLog();
        m_dwPrevError = 0;
        EndRun();
        return;
    }

    KillTimer(m_nTimerId);
    m_nTimerId = 0;
    DWORD err = m_dwRasError;
    if (err) {
        CString text = RasErrorText(err);
        AppendLog(LoadText(IDS_CONNECT_ERROR) + (text.IsEmpty() ? CString("!") : ": " + text));
        ShowLog();
        m_dwPrevError = err;
    }
    bool released = HangUpConnection(m_hRasConn) || !ConnectionExists(m_hRasConn);
    if (!err) {
        AppendLog(LoadText(IDS_DISCONNECTED_UNKNOWN));
        ShowLog();
        EndRun();
        return;
    }
    if (!released) {
        // A redial would find the port still held.
        AppendLog(LoadText(IDS_HANGUP_FAILED));
        ShowLog();
        EndRun();
        return;
    }
    if (!WriteBackCredentials()) {
        // The redial would go out without the password, certain to be refused.
        AppendLog(LoadText(IDS_CONNECT_ERROR) + "!");
        ShowLog();
        EndRun();
        return;
    }
    if (m_nAttempt == MAX_DIAL_ATTEMPTS) {
        AppendLog(LoadText(IDS_MAX_ATTEMPTS));
        ShowLog();
        EndRun();
        return;
    }
    StartAttempt();
}

// False when the stored password could not be restored into the entry.
bool CDialerDlg::WriteBackCredentials()
{
    CRasDialer dialer;
    if (m_bUserNameRead) dialer.SetEntryUserName(m_strEntry, m_strUserName, nullptr);
    if (!m_bWin2000) {
        if (m_bPasswordRead) dialer.SetEntryPassword(m_strEntry, m_strPassword, nullptr);
        return true;
    }
    bool noPassword = false, unreadable = false;
    if (!LoadProviderPassword(m_strEntry, m_strPassword, noPassword, &unreadable)) return !unreadable;
    if (noPassword) return true;
    bool restored = dialer.SetEntryPassword(m_strEntry, m_strPassword, nullptr);
    m_strPassword.Blank();
    return restored;
}

void CDialerDlg::ClearLog()
{
    m_strLog.Empty();
    m_nLogShown = -1;
}

// What is new replaces the empty selection at the end, or all of the text once
// the log was cleared: the edit paints just that, once, and scrolls to its
// caret, the newest line. Setting the whole text would show the first line.
void CDialerDlg::ShowLog()
{
    bool append = m_nLogShown >= 0 && m_nLogShown <= m_strLog.GetLength();
    // The length in bytes, never less than in characters; the edit stops at its end.
    LRESULT end = append ? m_editLog.SendMessage(WM_GETTEXTLENGTH) : 0;
    m_editLog.SendMessage(EM_SETSEL, static_cast<WPARAM>(end), append ? end : -1);
    m_editLog.SendMessage(EM_REPLACESEL, FALSE,
                          reinterpret_cast<LPARAM>(m_strLog.c_str() + (append ? m_nLogShown : 0)));
    m_nLogShown = m_strLog.GetLength();
}

void CDialerDlg::OnDialState(RASCONNSTATE state, DWORD error)
{
    AppendLog(ConnStateText(state));
    m_nRasState = state;
    if (error) {
        AppendLog(RasErrorText(error));
        m_dwRasError = error;
    }
    // A burst is shown once it has been taken in: copying the whole log into
    // the control for each of thousands of notifications would freeze the window.
    // Only the log: after the run the list and the prefix are the user's again.
    MSG next;
    if (!PeekMessageA(&next, m_hWnd, WM_DIAL_STATE, WM_DIAL_STATE, PM_NOREMOVE)) ShowLog();
}

void CDialerDlg::OnDialEntry(WPARAM index)
{
    if (RunInProgress()) return;  // see OnDial
    if (!IsWindowEnabled(m_hWnd)) {
        // One of the idle window's own dialogs is open: carried out once it has
        // closed (WM_ENABLE), so that its answer still concerns its own entry.
        m_bEntryPending = true;
        m_nPendingEntry = index;
        return;
    }
    CNameList names;
    if (!EnumPhonebookEntries(names, nullptr)) return;
    if (index >= static_cast<WPARAM>(names.GetCount())) return;
    if (m_comboEntry.SelectString(-1, names.GetAt(static_cast<int>(index))) == CB_ERR) {
        m_comboEntry.SetCurSel(0);
        return;
    }
    PostMessage(WM_COMMAND, MAKEWPARAM(IDC_DIAL, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItemHwnd(IDC_DIAL)));
}

LRESULT CDialerDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DIAL_STATE) {
        OnDialState(static_cast<RASCONNSTATE>(wParam), static_cast<DWORD>(lParam));
        return 0;
    }
    if (message == WM_DIAL_ENTRY) {
        OnDialEntry(wParam);
        return 0;
    }
    if (message == WM_DPICHANGED) {
        // Moved to a monitor of another DPI: under per-monitor v2 the system
        // rescales the controls and fonts; the icons and the bitmap are ours.
        ApplyDpi(HIWORD(wParam));
        LRESULT r = CDialog::WindowProc(message, wParam, lParam);
        if (const RECT* to = reinterpret_cast<const RECT*>(lParam))
            SetWindowPos(m_hWnd, nullptr, to->left, to->top, to->right - to->left, to->bottom - to->top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
        InvalidateRect(m_hWnd, nullptr, TRUE);
        return r;
    }
    // The session ends (logoff, shutdown): what Quit would save is saved.
    if (message == WM_ENDSESSION && wParam && !RunInProgress()) SaveSettings();
    if (message == WM_ENABLE && wParam && m_bEntryPending) {
        m_bEntryPending = false;
        PostMessage(WM_DIAL_ENTRY, m_nPendingEntry);
    }
    return CDialog::WindowProc(message, wParam, lParam);
}

// ---- password -----------------------------------------------------------------

void CDialerDlg::OnPassword()
{
    UpdateData(TRUE);
    m_strEntry.Empty();
    if (m_nEntrySel != -1) m_comboEntry.GetLBText(m_nEntrySel, m_strEntry);
    if (m_nEntrySel == -1 || m_strEntry.IsEmpty()) {
        MessageBox(LoadText(IDS_SELECT_PROVIDER), LoadText(IDS_ERROR), MB_ICONSTOP);
        return;
    }
    // The password belongs to the entry the dialog was opened for, whatever
    // happens to the selection while it is open.
    const CString entry = m_strEntry;
    CString password;
    bool dontSave = false;
    {
        CPasswordDlg dlg(entry, &dontSave, &password, this);
        if (dlg.DoModal() != IDOK) {
            m_bPasswordCancelled = true;
            return;
        }
    }
    if (!SaveProviderPassword(entry, password, dontSave))
        MessageBox(LoadText(IDS_PWD_SAVE_FAILED), LoadText(IDS_ERROR), MB_ICONSTOP);
    password.Blank();
}
