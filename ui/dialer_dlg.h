// The main window: entry list, dial prefix, progress log and the dial sequence.
#pragma once
#include "afxwin.h"
#include "ras/ras_types.h"
#include "settings/reg_value_store.h"

class CDialerCommandLineInfo;

constexpr UINT WM_DIAL_STATE = WM_APP;      // wParam: state, lParam: error
constexpr UINT WM_DIAL_ENTRY = WM_APP + 1;  // wParam: entry index, lParam: 0
constexpr int MAX_DIAL_ATTEMPTS = 100;
constexpr UINT kDialTimerId = 1;
constexpr UINT kDialTimerPeriodMs = 100;
#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

extern HWND g_hMainWnd;

void WINAPI RasDialNotify(UINT unMsg, RASCONNSTATE state, DWORD dwError);
bool GetDefaultEntry(CString& name);
void OpenHomepage();
void DrawTransparentBitmap(HDC hdc, HBITMAP hBitmap, int x, int y, COLORREF crTransparent);
// The bitmap scaled from 96 DPI to dpi, pixel for pixel; null when it cannot be made.
HBITMAP ScaleBitmapForDpi(HBITMAP bitmap, UINT dpi);
// The window's DPI: its monitor's where the system tells, else the system's.
UINT WindowDpi(HWND wnd);
// A system metric (an icon size) at that DPI.
int MetricForDpi(int index, UINT dpi);

class CDialerDlg : public CDialog {
public:
    CDialerDlg(CDialerCommandLineInfo* pCmdInfo, CWnd* pParent);
    ~CDialerDlg() override;

    void SaveSettings();
    void SetIdleState();

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void PostNcDestroy() override;
    BOOL OnInitDialog() override;
    void OnCancel() override;

    void OnSysCommand(UINT nID, LPARAM lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnDial();
    void OnTimer(UINT nIDEvent);
    void OnCancelButton();
    void OnClickHere();
    void OnPassword();
    void OnDesktopShortcut();

    void StartAttempt();
    DECLARE_MESSAGE_MAP()

private:
    void SetDialingState();
    void AppendLog(const CString& line);
    void EndRun();
    bool WriteBackCredentials();
    void ShowLog();
    void ClearLog();
    void ApplyDpi(UINT dpi);
    void OnDialState(RASCONNSTATE state, DWORD error);
    void OnDialEntry(WPARAM index);
    void BeginRun();
    bool HasConnectedOnce();
    void PreselectEntry(const CString& name);
    // From the first line of OnDial to the end of the run: its questions and
    // the password dialog run modal loops in which requests still arrive.
    bool RunInProgress() const { return m_bDialing || m_bInDial; }

    CButton m_btnShortcut;
    CEdit m_editLog;
    CButton m_btnPassword;
    CEdit m_editPrefix;
    CButton m_btnClickHere;
    CButton m_btnCancel;
    CButton m_btnQuit;
    CButton m_btnDial;
    CComboBox m_comboEntry;
    CString m_strLog;
    int m_nLogShown = -1;  // bytes of m_strLog the log control holds; -1: unknown
    int m_nEntrySel = -1;
    CString m_strPrefix;
    CString m_strUserName;
    CString m_strPassword;
    CString m_strEntry;
    bool m_bDialing = false;
    UINT_PTR m_nTimerId = 0;
    DWORD m_dwAttemptStart = 0;
    DWORD m_nDialTimeout = 120;
    DWORD m_dwPrevError = 0;
    int m_nAttempt = 0;
    CDialerCommandLineInfo* m_pCmdInfo;
    HICON m_hIcon = nullptr;
    HICON m_hIconSmall = nullptr;
    bool m_bIconOwned = false;  // m_hIcon made for another DPI, not the shared one
    int m_cxIcon = 0, m_cxIconSmall = 0;
    UINT m_nDpi = 96;
    HRASCONN m_hRasConn = nullptr;
    CBitmap m_bmpPromo;
    CBitmap m_bmpPromoScaled;  // m_bmpPromo at the window's DPI, when that is not 96
    bool m_bOpenHomepage = false;
    CRegValueStore m_settings;
    DWORD m_dwRasError = 0;
    RASCONNSTATE m_nRasState = 0;
    bool m_bWin2000 = false;
    bool m_bUserNameRead = false;
    bool m_bPasswordRead = false;
    bool m_bPasswordCancelled = false;
    bool m_bInDial = false;
    bool m_bEntryListWhole = false;  // every phonebook entry made it into the list
    // The last dial request that arrived while one of the window's dialogs was open.
    bool m_bEntryPending = false;
    WPARAM m_nPendingEntry = 0;
};
