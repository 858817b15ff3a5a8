// The in-memory image of a key's string values: (name, value) pairs, newest
// first, with a selected name whose values are read, added, replaced or removed.
#pragma once
#include "cstring.h"

class CValueStore {
public:
    CValueStore() = default;
    CValueStore(const CValueStore&) = delete;
    CValueStore& operator=(const CValueStore&) = delete;

    void SelectName(const CString& name);
    void SelectName(const char* name);
    bool AddValue(const CString& value);
    bool AddValue(const char* value);
    bool SetValue(const CString& value);
    bool SetValue(const char* value);
    bool GetNextValue(CString& out);
    bool HasValue(const CString& value);
    void RemoveName();
    bool RemoveCurrent();
    void Rewind();
    bool GetNextPair(CString& name, CString& value);
    void Clear();

    virtual void SetKeyPath(const char* path) = 0;
    virtual void SetKeyPath(const CString& path) = 0;
    virtual bool Load() = 0;
    virtual bool Save() = 0;

protected:
    // Stores are held by value only; nobody deletes one through this base.
    ~CValueStore() { Clear(); }

private:
    // Removes the selected name's values, all of them or all but *keep.
    void RemoveValuesBut(const CString* keep);
    struct Node {
        Node* next;
        CString name;
        CString value;
    };
    Node* m_head = nullptr;
    Node* m_find = nullptr;  // where the last successful GetNextValue stopped
    Node* m_walk = nullptr;  // what GetNextPair returns next
    CString m_selected;
};
