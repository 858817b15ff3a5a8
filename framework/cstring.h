// The framework's string: a heap copy that is wiped whenever it is freed or
// shrunk, so that a password held in one never lingers in freed memory.
#pragma once
#include <cstdarg>
#include <cstddef>

void SecureWipe(void* p, std::size_t n);

// A string that cannot get memory ends the process at once with exit code 8
// (ERROR_NOT_ENOUGH_MEMORY): the framework this models throws there, and
// nothing downstream may run on a string that came back empty or stale. No
// save, no write-back, no hang-up follows.
[[noreturn]] void AfxOutOfMemory();

class CString {
public:
    CString() = default;
    CString(const char* s);
    CString(const char* s, int len);
    CString(const CString& s);
    CString(CString&& s) noexcept;
    ~CString();

    CString& operator=(const char* s);
    CString& operator=(const CString& s);
    CString& operator=(CString&& s) noexcept;
    CString& operator+=(const char* s);
    CString& operator+=(const CString& s);

    operator const char*() const { return m_p ? m_p : ""; }
    const char* c_str() const { return m_p ? m_p : ""; }
    int GetLength() const { return m_len; }
    bool IsEmpty() const { return m_len == 0; }
    void Empty();

    // Overwrites every character with a blank; the length stays.
    void Blank();

    bool LoadString(unsigned id);  // Windows only (resource loader)
    void Format(const char* fmt, ...);
    void FormatV(const char* fmt, va_list args);

    void TrimLeft();
    void TrimRight();
    CString Left(int n) const;
    CString Mid(int first) const;
    CString Mid(int first, int n) const;
    int ReverseFind(char c) const;
    int FindOneOf(const char* set) const;
    void Delete(int pos, int count = 1);

    char* GetBuffer(int minLen);
    void ReleaseBuffer(int newLen = -1);

    int Compare(const char* s) const;        // exact, multibyte-aware
    int CompareNoCase(const char* s) const;  // as the registry matches names (CompareNames)
    bool operator==(const char* s) const { return Compare(s) == 0; }
    bool operator!=(const char* s) const { return Compare(s) != 0; }
    bool operator==(const CString& s) const { return Compare(s) == 0; }
    bool operator!=(const CString& s) const { return Compare(s) != 0; }

private:
    bool Reserve(int cap);
    void Assign(const char* s, int len);
    void Free();

    char* m_p = nullptr;
    int m_len = 0;
    int m_cap = 0;  // bytes usable for characters, not counting the NUL
};

CString operator+(const CString& a, const char* b);
CString operator+(const char* a, const CString& b);
CString operator+(const CString& a, const CString& b);
