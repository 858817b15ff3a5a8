#include "win.h"

#include "afxwin.h"
#include "cstring.h"

bool CString::LoadString(unsigned id)
{
    // The loader hands out the string in the thread's UI language, read-only and
    // without a copy; convert it to the ANSI code page ourselves.
    const wchar_t* wide = nullptr;
    int wlen = LoadStringW(AfxGetResourceHandle(), id, reinterpret_cast<LPWSTR>(&wide), 0);
    if (wlen <= 0 || !wide) {
        Empty();
        return false;
    }
    int n = WideCharToMultiByte(CP_ACP, 0, wide, wlen, nullptr, 0, nullptr, nullptr);
    char* buf = GetBuffer(n);
    if (!buf) {
        Empty();
        return false;
    }
    WideCharToMultiByte(CP_ACP, 0, wide, wlen, buf, n, nullptr, nullptr);
    ReleaseBuffer(n);
    return true;
}

CString LoadText(UINT id)
{
    CString s;
    s.LoadString(id);
    return s;
}
