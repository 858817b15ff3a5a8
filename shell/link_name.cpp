#include "link_name.h"

CString CleanLinkName(const CString& name)
{
    CString clean = name;
    for (int i; (i = clean.FindOneOf("<>|/\"\\")) >= 0;) clean.Delete(i);
    return clean;
}
