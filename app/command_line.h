// The command line of the dialer: at most one phonebook entry to dial at once,
// and the switch "2000".
#pragma once
#include "afxwin.h"
#include "settings/name_list.h"

class CDialerCommandLineInfo : public CCommandLineInfo {
public:
    CDialerCommandLineInfo();  // enumerates the default phonebook
    void ParseParam(const char* pszParam, BOOL bFlag, BOOL bLast) override;

    bool m_bWin2000Switch = false;
    CString m_strEntryName;  // as typed, set only when it matched an entry
    int m_nEntryIndex = -1;  // position of the match in m_entryNames
    CNameList m_entryNames;  // in the phonebook's enumeration order
};
