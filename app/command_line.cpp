#include "command_line.h"

#include "mbcs.h"
#include "ras/ras_dialer.h"

CDialerCommandLineInfo::CDialerCommandLineInfo() { EnumPhonebookEntries(m_entryNames, nullptr); }

void CDialerCommandLineInfo::ParseParam(const char* pszParam, BOOL bFlag, BOOL bLast)
{
    if (bFlag && MbsCmp(pszParam, "2000") == 0) {
        m_bWin2000Switch = true;
        return;
    }
    // Any other switch does nothing, unless its whole text, switch character
    // included, names an entry: the link made for an entry "-Home" must dial
    // it. The framework hands over the text just past that character.
    const char* name = bFlag ? pszParam - 1 : pszParam;
    int i = m_entryNames.FindNoCase(name);
    if (i >= 0) {
        m_strEntryName = name;
        m_nEntryIndex = i;
        return;
    }
    CCommandLineInfo::ParseParam(pszParam, bFlag, bLast);
}
