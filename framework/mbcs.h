// Multibyte-aware comparisons and character walks of the ANSI code page, with
// a portable fallback so the platform-free code also builds on the host.
#pragma once
#include <cstring>
#ifdef _WIN32
#include <mbstring.h>
inline int MbsCmp(const char* a, const char* b)
{
    return _mbscmp(reinterpret_cast<const unsigned char*>(a), reinterpret_cast<const unsigned char*>(b));
}
// The first byte of a double-byte character, as the _mbs functions see it.
inline bool MbsIsLeadByte(char c) { return _ismbblead(static_cast<unsigned char>(c)) != 0; }
// Zero when the registry takes a and b for one value name: every letter of the
// ANSI code page folded, ordinally (not linguistically: "ß" is not "ss").
int CompareNames(const char* a, const char* b);
// The same rule by an upper-casing of each UTF-16 unit, as before Vista.
int CompareNamesByUpcase(const char* a, const char* b);
#else
#include <strings.h>
inline int MbsCmp(const char* a, const char* b) { return std::strcmp(a, b); }
inline int CompareNames(const char* a, const char* b) { return strcasecmp(a, b); }
// The host has no ANSI code page: single bytes, unless a test picks one of
// the double-byte code pages.
inline int g_hostCodePage = 0;
inline bool MbsIsLeadByte(char c)
{
    unsigned char b = static_cast<unsigned char>(c);
    if (g_hostCodePage == 932) return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    if (g_hostCodePage == 936 || g_hostCodePage == 949 || g_hostCodePage == 950) return b >= 0x81 && b <= 0xFE;
    return false;
}
#endif

// Bytes in the character at p: 2 for a lead byte followed by its trail byte.
inline int MbsCharLen(const char* p) { return MbsIsLeadByte(*p) && p[1] ? 2 : 1; }

// True when the last character of s is c (a single-byte character).
inline bool MbsEndsWith(const char* s, char c)
{
    bool last = false;
    for (const char* p = s; *p; p += MbsCharLen(p)) last = MbsCharLen(p) == 1 && *p == c;
    return last;
}
