#include "win.h"

#include "afxwin.h"
#include "cstring.h"

void AfxOutOfMemory()
{
    TerminateProcess(GetCurrentProcess(), ERROR_NOT_ENOUGH_MEMORY);
    ExitProcess(ERROR_NOT_ENOUGH_MEMORY);  // not reached
}

bool CString::LoadString(unsigned id)
{
    // LoadStringA, as Windows 95 to ME implement it (their LoadStringW is a
    // stub), into a buffer grown until the text fits: a result one short of
    // the room may have been cut. The loader picks the thread's UI language.
    for (int room = 256;; room *= 2) {
        CString text;
        char* buf = text.GetBuffer(room - 1);
        if (!buf) break;
        int n = LoadStringA(AfxGetResourceHandle(), id, buf, room);
        if (n <= 0) break;
        if (n < room - 1 || room >= (1 << 17)) {
            text.ReleaseBuffer(n);
            *this = static_cast<CString&&>(text);
            return true;
        }
    }
    Empty();
    return false;
}

CString LoadText(UINT id)
{
    CString s;
    s.LoadString(id);
    return s;
}
