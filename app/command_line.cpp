#include "command_line.h"

#include "mbcs.h"
#include "ras/ras_dialer.h"

CDialerCommandLineInfo::CDialerCommandLineInfo() { EnumPhonebookEntries(m_entryNames, nullptr); }

void CDialerCommandLineInfo::ParseParam(const char* pszParam, BOOL bFlag, BOOL bLast)
{
    if (bFlag) {
        if (MbsCmp(pszParam, "2000") == 0) {
            m_bWin2000Switch = true;
            return;
        }
    } else {
        int i = m_entryNames.FindNoCase(pszParam);
        if (i >= 0) {
            m_strEntryName = pszParam;
            m_nEntryIndex = i;
            return;
        }
    }
    CCommandLineInfo::ParseParam(pszParam, bFlag, bLast);
}
