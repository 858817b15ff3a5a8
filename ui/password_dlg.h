// The dialog in which the user gives a provider's password, or says that the
// provider needs none.
#pragma once
#include "afxwin.h"

class CPasswordDlg : public CDialog {
public:
    CPasswordDlg(const CString& entry, bool* pDontSave, CString* pPassword, CWnd* parent);

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    int m_bDontSave = 0;
    CString m_strProvider;
    CString m_strPassword;
    CString m_strInfo;
    bool* m_pDontSave;
    CString* m_pPassword;
};
