#include "value_store.h"

// Names match as the registry matches them, whatever their letter case: a
// value written over one of another case keeps that case's spelling.
static bool SameName(const CString& a, const CString& b) { return a.CompareNoCase(b) == 0; }

void CValueStore::SelectName(const CString& name)
{
    m_selected = name;
    m_find = nullptr;
}

void CValueStore::SelectName(const char* name) { SelectName(CString(name)); }

bool CValueStore::AddValue(const CString& value)
{
    m_find = nullptr;
    if (m_selected.IsEmpty()) return false;
    for (Node* n = m_head; n; n = n->next)
        if (SameName(n->name, m_selected) && n->value == value) return false;
    Node* node = new Node{m_head, m_selected, value};
    if (!node) return false;
    m_head = node;
    return true;
}

bool CValueStore::AddValue(const char* value) { return AddValue(CString(value)); }

bool CValueStore::SetValue(const CString& value)
{
    // The new pair goes in before the old ones go: when it cannot, the name
    // keeps what it had.
    if (!AddValue(value) && !HasValue(value)) return false;
    RemoveValuesBut(&value);
    return true;
}

bool CValueStore::SetValue(const char* value) { return SetValue(CString(value)); }

bool CValueStore::GetNextValue(CString& out)
{
    for (Node* n = m_find ? m_find->next : m_head; n; n = n->next) {
        if (SameName(n->name, m_selected)) {
            out = n->value;
            m_find = n;
            return true;
        }
    }
    out.Empty();
    m_find = nullptr;
    return false;
}

bool CValueStore::HasValue(const CString& value)
{
    m_find = nullptr;
    CString v;
    while (GetNextValue(v)) {
        if (v == value) {
            m_find = nullptr;
            return true;
        }
    }
    return false;
}

void CValueStore::RemoveName() { RemoveValuesBut(nullptr); }

void CValueStore::RemoveValuesBut(const CString* keep)
{
    m_find = m_head;
    while (m_find) {
        if (SameName(m_find->name, m_selected) && !(keep && m_find->value == *keep)) {
            RemoveCurrent();
            m_find = m_head;
        } else {
            m_find = m_find->next;
        }
    }
}

bool CValueStore::RemoveCurrent()
{
    Node* target = m_find;
    m_find = nullptr;
    if (!target) return false;
    for (Node** link = &m_head; *link; link = &(*link)->next) {
        if (*link == target) {
            *link = target->next;
            if (m_walk == target) m_walk = target->next;
            delete target;
            return true;
        }
    }
    return false;
}

void CValueStore::Rewind() { m_walk = m_head; }

bool CValueStore::GetNextPair(CString& name, CString& value)
{
    if (!m_walk) return false;
    name = m_walk->name;
    value = m_walk->value;
    m_walk = m_walk->next;
    return true;
}

void CValueStore::Clear()
{
    while (m_head) {
        Node* next = m_head->next;
        delete m_head;
        m_head = next;
    }
    m_find = m_walk = nullptr;
}
