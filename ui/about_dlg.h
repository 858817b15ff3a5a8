// The About box of the system menu.
#pragma once
#include "afxwin.h"
#include "resource.h"

class CAboutDlg : public CDialog {
public:
    explicit CAboutDlg(CWnd* parent = nullptr) : CDialog(IDD_ABOUTBOX, parent) {}
};
