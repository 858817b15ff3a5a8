#include "password_dlg.h"

#include "resource.h"

CPasswordDlg::CPasswordDlg(const CString& entry, bool* pDontSave, CString* pPassword, CWnd* parent)
    : CDialog(IDD_PASSWORD, parent), m_strProvider(entry), m_pDontSave(pDontSave), m_pPassword(pPassword)
{
    m_strInfo = LoadText(IDS_PWD_INFO1) + " " + LoadText(IDS_PWD_INFO2);
}

void CPasswordDlg::DoDataExchange(CDataExchange* pDX)
{
    DDX_Check(pDX, IDC_PWD_DONTSAVE, m_bDontSave);
    DDX_Text(pDX, IDC_PWD_PROVIDER, m_strProvider);
    DDX_Text(pDX, IDC_PWD_PASSWORD, m_strPassword);
    DDX_Text(pDX, IDC_PWD_INFO, m_strInfo);
}

// The caret where the user came to type, not in the read-only provider field
// before it: a screen reader starts there too.
BOOL CPasswordDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItemHwnd(IDC_PWD_PASSWORD)), TRUE);
    return FALSE;
}

void CPasswordDlg::OnOK()
{
    UpdateData(TRUE);
    m_strPassword.TrimLeft();
    m_strPassword.TrimRight();
    if (!m_bDontSave && m_strPassword.IsEmpty() &&
        MessageBox(LoadText(IDS_NO_PASSWORD), LoadText(IDS_APPNAME), MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    *m_pDontSave = m_bDontSave == 1;
    *m_pPassword = m_strPassword;
    m_strPassword.Blank();
    EndDialog(IDOK);
}

LRESULT CPasswordDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        // The edit control frees its text with it: overwrite the typed
        // characters in place first (same length), so none stays in freed memory.
        UpdateData(TRUE);
        m_strPassword.Blank();
        UpdateData(FALSE);
    }
    return CDialog::WindowProc(message, wParam, lParam);
}
