// The Desktop Shortcut button of the main window.
#include "resource.h"
#include "shell/desktop_shortcut.h"
#include "shell/link_name.h"
#include "ui/dialer_dlg.h"

void CDialerDlg::OnDesktopShortcut()
{
    UpdateData(TRUE);
    m_strEntry.Empty();
    if (m_nEntrySel != -1) m_comboEntry.GetLBText(m_nEntrySel, m_strEntry);

    // The answer concerns this entry, whatever the selection is by then.
    const CString entry = m_strEntry;
    bool dial = false;
    if (!entry.IsEmpty()) {
        CString question;
        question.Format(LoadText(IDS_SHORTCUT_QUESTION), entry.c_str());
        int answer = MessageBox(question, LoadText(IDS_APPNAME), MB_YESNOCANCEL | MB_ICONQUESTION);
        if (answer == IDYES) dial = true;
        else if (answer != IDNO) return;
    }

    CString linkName = LoadText(IDS_SHORTCUT_NAME);
    if (dial) linkName += LoadText(IDS_SHORTCUT_TO) + entry;
    linkName = CleanLinkName(linkName);
    CString arguments = QuoteArgument(entry);
    if (!CreateDesktopShortcutToSelf(dial ? arguments.c_str() : nullptr, linkName))
        MessageBox(LoadText(IDS_SHORTCUT_FAILED), LoadText(IDS_ERROR), MB_ICONSTOP | MB_OK);
}
