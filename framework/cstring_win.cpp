#include "win.h"

#include "afxwin.h"
#include "cstring.h"
#include "mbcs.h"

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

namespace {

// A name in UTF-16: on the stack for any name the program lists, on the heap
// for the longest value names the registry allows.
class CWideName {
public:
    explicit CWideName(const char* s)
    {
        int n = MultiByteToWideChar(CP_ACP, 0, s, -1, m_local, kLocal);
        if (n == 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
            n = MultiByteToWideChar(CP_ACP, 0, s, -1, nullptr, 0);
            m_heap = n > 0 ? new WCHAR[static_cast<unsigned>(n)] : nullptr;
            if (n > 0 && !m_heap) AfxOutOfMemory();
            if (m_heap) n = MultiByteToWideChar(CP_ACP, 0, s, -1, m_heap, n);
        }
        m_len = n - 1;  // -1: not convertible
    }
    CWideName(const CWideName&) = delete;
    CWideName& operator=(const CWideName&) = delete;
    ~CWideName() { delete[] m_heap; }
    const WCHAR* Get() const { return m_heap ? m_heap : m_local; }
    int Length() const { return m_len; }

private:
    static constexpr int kLocal = 260;
    WCHAR m_local[kLocal];
    WCHAR* m_heap = nullptr;
    int m_len = -1;
};

// The functions of the rule, looked up once: the store compares names in
// loops. Only the user-interface thread compares names.
struct CaseFolding {
    bool resolved;
    int(WINAPI* ordinal)(LPCWSTR, int, LPCWSTR, int, BOOL);  // Vista and later
    WCHAR(WINAPI* upcase)(WCHAR);  // ntdll's, what the NT registry folds names with
};
CaseFolding g_folding;

const CaseFolding& Folding()
{
    if (!g_folding.resolved) {
        g_folding.ordinal = SystemFunction<decltype(g_folding.ordinal)>("kernel32.dll", "CompareStringOrdinal");
        g_folding.upcase = SystemFunction<decltype(g_folding.upcase)>("ntdll.dll", "RtlUpcaseUnicodeChar");
        g_folding.resolved = true;
    }
    return g_folding;
}

// Windows 95 to ME have neither the ordinal compare nor ntdll's upper-casing:
// one character of the code page at a time, upper-cased there.
WCHAR WINAPI UpcaseInCodePage(WCHAR c)
{
    if (c < 0x80) return c >= 'a' && c <= 'z' ? static_cast<WCHAR>(c - 32) : c;
    char mb[4];
    if (WideCharToMultiByte(CP_ACP, 0, &c, 1, mb, sizeof mb, nullptr, nullptr) != 1) return c;
    CharUpperBuffA(mb, 1);
    WCHAR up = c;
    return MultiByteToWideChar(CP_ACP, 0, mb, 1, &up, 1) == 1 ? up : c;
}

}  // namespace

int CompareNamesByUpcase(const char* a, const char* b)
{
    CWideName x(a), y(b);
    if (x.Length() < 0 || y.Length() < 0) return MbsCmp(a, b);
    WCHAR(WINAPI * up)(WCHAR) = Folding().upcase;
    if (!up) up = UpcaseInCodePage;
    for (int i = 0;; ++i) {
        if (i == x.Length() || i == y.Length()) return (i == y.Length() ? 0 : -1) + (i == x.Length() ? 0 : 1);
        WCHAR p = up(x.Get()[i]), q = up(y.Get()[i]);
        if (p != q) return p < q ? -1 : 1;
    }
}

int CompareNames(const char* a, const char* b)
{
    // A to Z fold alike on every system, and most names hold nothing else.
    for (const unsigned char *p = reinterpret_cast<const unsigned char*>(a), *q = reinterpret_cast<const unsigned char*>(b);
         *p < 0x80 && *q < 0x80; ++p, ++q) {
        unsigned char x = *p >= 'a' && *p <= 'z' ? *p - 32 : *p, y = *q >= 'a' && *q <= 'z' ? *q - 32 : *q;
        if (x != y) return x < y ? -1 : 1;
        if (!x) return 0;
    }
    const auto ordinal = Folding().ordinal;
    if (!ordinal) return CompareNamesByUpcase(a, b);
    CWideName x(a), y(b);
    if (x.Length() < 0 || y.Length() < 0) return MbsCmp(a, b);
    int r = ordinal(x.Get(), x.Length(), y.Get(), y.Length(), TRUE);
    return r ? r - CSTR_EQUAL : MbsCmp(a, b);
}
