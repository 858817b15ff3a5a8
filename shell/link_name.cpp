#include "link_name.h"

#include "mbcs.h"

CString CleanLinkName(const CString& name)
{
    CString clean = name;
    for (int i; (i = clean.FindOneOf("<>|/\"\\")) >= 0;) clean.Delete(i);
    return clean;
}

CString QuoteArgument(const CString& text)
{
    CString quoted = "\"";
    int backslashes = 0;  // written just before this character
    for (const char* p = text.c_str(); *p;) {
        int len = MbsCharLen(p);
        if (len == 1 && *p == '"') {
            for (; backslashes > 0; --backslashes) quoted += "\\";
            quoted += "\\";
        }
        backslashes = len == 1 && *p == '\\' ? backslashes + 1 : 0;
        quoted += CString(p, len);
        p += len;
    }
    for (; backslashes > 0; --backslashes) quoted += "\\";
    return quoted + "\"";
}
