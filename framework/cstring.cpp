#include "cstring.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "mbcs.h"

#ifndef _WIN32
[[noreturn]] void AfxOutOfMemory() { std::_Exit(8); }
#endif

void SecureWipe(void* p, std::size_t n)
{
    volatile unsigned char* q = static_cast<volatile unsigned char*>(p);
    while (n--) *q++ = 0;
}

CString::CString(const char* s) { Assign(s, s ? static_cast<int>(std::strlen(s)) : 0); }
CString::CString(const char* s, int len) { Assign(s, len); }
CString::CString(const CString& s) { Assign(s.m_p, s.m_len); }
CString::CString(CString&& s) noexcept : m_p(s.m_p), m_len(s.m_len), m_cap(s.m_cap)
{
    s.m_p = nullptr;
    s.m_len = s.m_cap = 0;
}
CString::~CString() { Free(); }

CString& CString::operator=(const char* s)
{
    if (s && m_p && s >= m_p && s <= m_p + m_len) {  // assignment from a part of ourselves
        CString copy(s);
        return *this = static_cast<CString&&>(copy);
    }
    Assign(s, s ? static_cast<int>(std::strlen(s)) : 0);
    return *this;
}
CString& CString::operator=(const CString& s)
{
    if (this != &s) Assign(s.m_p, s.m_len);
    return *this;
}
CString& CString::operator=(CString&& s) noexcept
{
    if (this != &s) {
        Free();
        m_p = s.m_p;
        m_len = s.m_len;
        m_cap = s.m_cap;
        s.m_p = nullptr;
        s.m_len = s.m_cap = 0;
    }
    return *this;
}

CString& CString::operator+=(const char* s)
{
    if (!s || !*s) return *this;
    CString copy(s);  // s may point into our own buffer
    int n = copy.m_len;
    if (n > INT_MAX - 1 - m_len) AfxOutOfMemory();
    Reserve(m_len + n);
    std::memcpy(m_p + m_len, copy.m_p, static_cast<std::size_t>(n) + 1);
    m_len += n;
    return *this;
}
CString& CString::operator+=(const CString& s) { return *this += s.c_str(); }

void CString::Empty() { Free(); }

void CString::Blank()
{
    for (int i = 0; i < m_len; ++i) m_p[i] = ' ';
}

void CString::Format(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    FormatV(fmt, args);
    va_end(args);
}

// msvcrt's own formatter keeps the runtime's printf out of the executable;
// unlike wvsprintf it has no 1,024-character limit.
static int FormatInto(char* buf, std::size_t size, const char* fmt, va_list args)
{
#ifdef _WIN32
    return _vsnprintf(buf, size, fmt, args);
#else
    return std::vsnprintf(buf, size, fmt, args);
#endif
}

void CString::FormatV(const char* fmt, va_list args)
{
    // msvcrt answers -1 when the text does not fit instead of its length:
    // grow until it fits, with room for the NUL it may leave out.
    for (int cap = 256;; cap *= 2) {
        CString out;
        if (cap > (1 << 24)) AfxOutOfMemory();  // no text of ours is that long
        out.Reserve(cap);
        va_list copy;
        va_copy(copy, args);
        int n = FormatInto(out.m_p, static_cast<std::size_t>(cap), fmt, copy);
        va_end(copy);
        if (n >= 0 && n < cap) {
            out.m_p[n] = 0;
            out.m_len = n;
            *this = static_cast<CString&&>(out);
            return;
        }
    }
}

static bool IsBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

void CString::TrimLeft()
{
    int i = 0;
    while (i < m_len && IsBlank(m_p[i])) ++i;
    if (i) Delete(0, i);
}

void CString::TrimRight()
{
    int n = m_len;
    while (n > 0 && IsBlank(m_p[n - 1])) --n;
    if (n != m_len) {
        SecureWipe(m_p + n, static_cast<std::size_t>(m_len - n));
        m_len = n;
    }
}

CString CString::Left(int n) const
{
    if (n < 0) n = 0;
    if (n > m_len) n = m_len;
    return CString(m_p, n);
}
CString CString::Mid(int first) const { return Mid(first, m_len - first); }
CString CString::Mid(int first, int n) const
{
    if (first < 0) first = 0;
    if (first > m_len) first = m_len;
    if (n < 0) n = 0;
    if (n > m_len - first) n = m_len - first;
    return CString(m_p ? m_p + first : nullptr, n);
}

// Both walk characters: in a double-byte code page the second byte of a
// character may look like a backslash or a bar.
int CString::ReverseFind(char c) const
{
    int found = -1;
    for (int i = 0; i < m_len; i += MbsCharLen(m_p + i))
        if (MbsCharLen(m_p + i) == 1 && m_p[i] == c) found = i;
    return found;
}
int CString::FindOneOf(const char* set) const
{
    for (int i = 0; i < m_len; i += MbsCharLen(m_p + i))
        if (MbsCharLen(m_p + i) == 1 && std::strchr(set, m_p[i])) return i;
    return -1;
}

void CString::Delete(int pos, int count)
{
    if (pos < 0 || pos >= m_len || count <= 0) return;
    if (count > m_len - pos) count = m_len - pos;
    std::memmove(m_p + pos, m_p + pos + count, static_cast<std::size_t>(m_len - pos - count) + 1);
    m_len -= count;
    SecureWipe(m_p + m_len + 1, static_cast<std::size_t>(count));
}

char* CString::GetBuffer(int minLen)
{
    if (minLen < m_len) minLen = m_len;
    return Reserve(minLen) ? m_p : nullptr;
}

void CString::ReleaseBuffer(int newLen)
{
    if (!m_p) return;
    if (newLen < 0) newLen = static_cast<int>(strnlen(m_p, static_cast<std::size_t>(m_cap)));
    if (newLen > m_cap) newLen = m_cap;
    m_p[newLen] = 0;
    m_len = newLen;
}

int CString::Compare(const char* s) const { return MbsCmp(c_str(), s ? s : ""); }
int CString::CompareNoCase(const char* s) const { return CompareNames(c_str(), s ? s : ""); }

// False only for a negative size; out of memory ends the process.
bool CString::Reserve(int cap)
{
    if (cap < 0) return false;
    if (cap <= m_cap && m_p) return true;
    int newCap = m_cap < INT_MAX / 2 && m_cap * 2 > cap ? m_cap * 2 : cap;
    if (newCap == INT_MAX) AfxOutOfMemory();
    char* p = static_cast<char*>(std::malloc(static_cast<std::size_t>(newCap) + 1));
    if (!p) AfxOutOfMemory();
    if (m_p) std::memcpy(p, m_p, static_cast<std::size_t>(m_len) + 1);
    else p[0] = 0;
    Free();  // wipes the old copy
    m_p = p;
    m_cap = newCap;
    m_len = static_cast<int>(std::strlen(p));
    return true;
}

void CString::Assign(const char* s, int len)
{
    if (!s || len <= 0) {
        if (m_p) {
            SecureWipe(m_p, static_cast<std::size_t>(m_len));
            m_p[0] = 0;
        }
        m_len = 0;
        return;
    }
    if (len > m_cap || !m_p) {
        char* p = static_cast<char*>(std::malloc(static_cast<std::size_t>(len) + 1));
        if (!p) AfxOutOfMemory();
        Free();
        m_p = p;
        m_cap = len;
    } else if (len < m_len) {
        SecureWipe(m_p + len, static_cast<std::size_t>(m_len - len));
    }
    std::memmove(m_p, s, static_cast<std::size_t>(len));
    m_p[len] = 0;
    m_len = len;
}

void CString::Free()
{
    if (m_p) {
        SecureWipe(m_p, static_cast<std::size_t>(m_cap) + 1);
        std::free(m_p);
    }
    m_p = nullptr;
    m_len = m_cap = 0;
}

CString operator+(const CString& a, const char* b)
{
    CString r(a);
    r += b;
    return r;
}
CString operator+(const char* a, const CString& b)
{
    CString r(a);
    r += b;
    return r;
}
CString operator+(const CString& a, const CString& b)
{
    CString r(a);
    r += b;
    return r;
}
