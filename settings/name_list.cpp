#include "name_list.h"

#include <cstdlib>
#include <cstring>

#include "mbcs.h"

CNameList::Node* CNameList::NewNode(const char* s, std::size_t len)
{
    Node* n = static_cast<Node*>(std::malloc(sizeof(Node)));
    if (!n) return nullptr;
    n->next = nullptr;
    n->text = static_cast<char*>(std::malloc(len + 1));
    if (!n->text) {
        std::free(n);
        return nullptr;
    }
    std::memcpy(n->text, s, len);
    n->text[len] = 0;
    return n;
}

CNameList::Node* CNameList::NodeAt(int pos) const
{
    if (pos < 0) return nullptr;
    Node* n = m_head;
    while (n && pos-- > 0) n = n->next;
    return n;
}

int CNameList::GetCount() const
{
    int count = 0;
    for (Node* n = m_head; n; n = n->next) ++count;
    return count;
}

bool CNameList::Add(const char* s)
{
    Node* node = NewNode(s, std::strlen(s));
    if (!node) return false;
    Node** link = &m_head;
    while (*link) link = &(*link)->next;
    *link = node;
    return true;
}

bool CNameList::InsertAt(int pos, const char* s)
{
    if (pos <= 0) {
        Node* node = NewNode(s, std::strlen(s));
        if (!node) return false;
        node->next = m_head;
        m_head = node;
        return true;
    }
    Node* prev = NodeAt(pos - 1);
    if (!prev) return false;
    Node* node = NewNode(s, std::strlen(s));
    if (!node) return false;
    node->next = prev->next;
    prev->next = node;
    return true;
}

bool CNameList::InsertAfter(int pos, const char* s)
{
    Node* prev = NodeAt(pos < 0 ? 0 : pos);
    if (!prev) return false;
    Node* node = NewNode(s, std::strlen(s));
    if (!node) return false;
    node->next = prev->next;
    prev->next = node;
    return true;
}

bool CNameList::RemoveAt(int pos)
{
    if (pos < 0) return false;
    Node** link = &m_head;
    while (*link && pos-- > 0) link = &(*link)->next;
    Node* node = *link;
    if (!node) return false;
    *link = node->next;
    std::free(node->text);
    std::free(node);
    return true;
}

const char* CNameList::GetAt(int pos) const
{
    Node* n = NodeAt(pos < 0 ? 0 : pos);
    return n ? n->text : nullptr;
}

int CNameList::FindNoCase(const char* s) const
{
    if (!s) return -1;
    int pos = 0;
    for (Node* n = m_head; n; n = n->next, ++pos)
        if (CompareNames(s, n->text) == 0) return pos;
    return -1;
}

void CNameList::RemoveAll()
{
    while (m_head) {
        Node* next = m_head->next;
        std::free(m_head->text);
        std::free(m_head);
        m_head = next;
    }
}

bool CNameList::FromMultiString(const char* data)
{
    // Bounded by the terminating empty string alone, as the caller promises one.
    std::size_t len = 0;
    while (data[len] || data[len + 1]) ++len;
    return FromMultiString(data, len + 2);
}

bool CNameList::FromMultiString(const char* data, std::size_t len)
{
    RemoveAll();
    std::size_t p = 0;
    while (p < len) {
        std::size_t n = 0;
        while (p + n < len && data[p + n]) ++n;
        if (n == 0) {
            // An empty first string followed by more strings is an element.
            if (!(p == 0 && len > 1 && data[1])) break;
        }
        Node* node = NewNode(data + p, n);
        if (!node) {
            RemoveAll();
            return false;
        }
        Node** link = &m_head;
        while (*link) link = &(*link)->next;
        *link = node;
        p += n + 1;
    }
    return true;
}

bool CNameList::ToMultiString(char* buf, int size, int* needed) const
{
    if (size < 2) return false;
    buf[0] = buf[1] = 0;
    if (!m_head) {
        if (needed) *needed = 2;
        return true;
    }
    long long total = 1;
    for (Node* n = m_head; n; n = n->next) total += static_cast<long long>(std::strlen(n->text)) + 1;
    if (needed) *needed = static_cast<int>(total);
    if (total > size) return false;
    char* out = buf;
    for (Node* n = m_head; n; n = n->next) {
        std::size_t l = std::strlen(n->text) + 1;
        std::memcpy(out, n->text, l);
        out += l;
    }
    *out = 0;
    return true;
}
