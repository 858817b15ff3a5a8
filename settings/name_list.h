// An ordered list of heap-copied strings: entry names, key-path components and
// the strings of a multi-string registry value.
#pragma once
#include <cstddef>

class CNameList {
public:
    CNameList() = default;
    CNameList(const CNameList&) = delete;
    CNameList& operator=(const CNameList&) = delete;
    ~CNameList() { RemoveAll(); }

    int GetCount() const;
    bool Add(const char* s);
    bool InsertAt(int pos, const char* s);
    bool InsertAfter(int pos, const char* s);
    bool RemoveAt(int pos);
    const char* GetAt(int pos) const;  // lent; valid until the next change
    // Position of the first string equal to s, letter case ignored (multibyte
    // aware on Windows); -1 when there is none. One walk of the list.
    int FindNoCase(const char* s) const;
    void RemoveAll();

    // Replaces the content by the strings of a double-NUL-terminated multi-string.
    bool FromMultiString(const char* data);
    // The same, never reading beyond len bytes: the end of the data ends the
    // current string and the list, whatever terminators are missing.
    bool FromMultiString(const char* data, std::size_t len);
    bool ToMultiString(char* buf, int size, int* needed) const;

private:
    struct Node {
        Node* next;
        char* text;
    };
    static Node* NewNode(const char* s, std::size_t len);
    Node* NodeAt(int pos) const;

    Node* m_head = nullptr;
};
