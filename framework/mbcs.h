// Multibyte-aware comparisons of the ANSI code page, with a portable fallback
// so the platform-free code also builds on the host.
#pragma once
#include <cstring>
#ifdef _WIN32
#include <mbstring.h>
inline int MbsCmp(const char* a, const char* b)
{
    return _mbscmp(reinterpret_cast<const unsigned char*>(a), reinterpret_cast<const unsigned char*>(b));
}
inline int MbsICmp(const char* a, const char* b)
{
    return _mbsicmp(reinterpret_cast<const unsigned char*>(a), reinterpret_cast<const unsigned char*>(b));
}
#else
#include <strings.h>
inline int MbsCmp(const char* a, const char* b) { return std::strcmp(a, b); }
inline int MbsICmp(const char* a, const char* b) { return strcasecmp(a, b); }
#endif
