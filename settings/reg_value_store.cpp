#include "reg_value_store.h"

#include <cstring>
#include <memory>

#include "name_list.h"

namespace {
// The name and data buffers of one value enumeration, grown as it needs them.
class CValueBuffers {
public:
    CValueBuffers(DWORD maxName, DWORD maxData);
    CValueBuffers(const CValueBuffers&) = delete;
    CValueBuffers& operator=(const CValueBuffers&) = delete;
    ~CValueBuffers();
    // RegEnumValueA into the buffers, retried with more room on ERROR_MORE_DATA.
    LONG Enum(HKEY key, DWORD index, DWORD* type, DWORD* dataLen, bool withData);
    const char* Name() const { return m_name.get(); }
    const char* Data() const { return m_data.get(); }

private:
    // The longest value name Windows allows, 16,383 characters, in any ANSI code page.
    static constexpr DWORD kMaxNameBytes = 16384 * 3;
    bool Grow(DWORD nameSize, DWORD dataSize);
    std::unique_ptr<char[]> m_name, m_data;
    DWORD m_nameSize = 0, m_dataSize = 0;
};
}  // namespace

// What one save writes, made whole before the key is touched.
class CValueImage {
public:
    struct Value {
        Value* next;
        CString name;
        DWORD type;
        std::unique_ptr<char[]> data;
        DWORD size;
    };
    CValueImage() = default;
    CValueImage(const CValueImage&) = delete;
    CValueImage& operator=(const CValueImage&) = delete;
    ~CValueImage();
    bool Has(const char* name) const;  // letter case ignored, as the registry does
    bool Add(const CString& name, DWORD type, std::unique_ptr<char[]>&& data, DWORD size);
    const Value* First() const { return m_head; }

private:
    Value* m_head = nullptr;
    Value** m_tail = &m_head;
};

// ---- CRegKeyHandle ----------------------------------------------------------

LONG CRegKeyHandle::Open(HKEY parent, const char* subKey, REGSAM access)
{
    HKEY key = nullptr;
    LONG r = RegOpenKeyExA(parent, subKey, 0, access, &key);
    if (r != ERROR_SUCCESS) return r;
    LONG closed = Close();
    m_hKey = key;
    return closed;
}

LONG CRegKeyHandle::Close()
{
    if (!m_hKey) return ERROR_SUCCESS;
    LONG r = RegCloseKey(m_hKey);
    m_hKey = nullptr;
    return r;
}

LONG CRegKeyHandle::QueryStringValue(CString& out, const CString& valueName)
{
    out.Empty();
    DWORD size = 0;
    LONG r = RegQueryValueExA(m_hKey, valueName, nullptr, nullptr, nullptr, &size);
    if (r != ERROR_SUCCESS && r != ERROR_MORE_DATA) return r;
    const DWORD allocated = size + 1;
    std::unique_ptr<char[]> buf(new char[allocated]);
    if (!buf) return ERROR_NOT_ENOUGH_MEMORY;
    // The value may have grown since the first call: then this one fails with
    // the new size, which says nothing about what was allocated.
    r = RegQueryValueExA(m_hKey, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(buf.get()), &size);
    if (r == ERROR_SUCCESS && size < allocated) {
        // The data need not carry its NUL: never read past what was returned.
        buf[size] = 0;
        out = CString(buf.get(), static_cast<int>(strnlen(buf.get(), size)));
    }
    SecureWipe(buf.get(), allocated);
    return r;
}

// RegQueryInfoKeyA counts the longest value name in characters; in a
// double-byte code page its ANSI form may take twice as many bytes, so the
// enumeration starts with that room and grows on ERROR_MORE_DATA.
CValueBuffers::CValueBuffers(DWORD maxName, DWORD maxData)
{
    Grow(maxName * 2 + 1, maxData + 1);
}

CValueBuffers::~CValueBuffers()
{
    if (m_data) SecureWipe(m_data.get(), m_dataSize);
}

bool CValueBuffers::Grow(DWORD nameSize, DWORD dataSize)
{
    if (nameSize > kMaxNameBytes) nameSize = kMaxNameBytes;
    if (nameSize > m_nameSize || !m_name) {
        m_name.reset(new char[nameSize]);
        m_nameSize = m_name ? nameSize : 0;
    }
    if (dataSize > m_dataSize || !m_data) {
        if (m_data) SecureWipe(m_data.get(), m_dataSize);
        m_data.reset(new char[dataSize]);
        m_dataSize = m_data ? dataSize : 0;
    }
    return m_name && m_data;
}

LONG CValueBuffers::Enum(HKEY key, DWORD index, DWORD* type, DWORD* dataLen, bool withData)
{
    for (int tries = 0;; ++tries) {
        if (!m_name || !m_data) return ERROR_NOT_ENOUGH_MEMORY;
        DWORD nameLen = m_nameSize;
        // One spare byte past the data, so a string can always be closed.
        *dataLen = m_dataSize - 1;
        LONG r = RegEnumValueA(key, index, m_name.get(), &nameLen, nullptr, type,
                               withData ? reinterpret_cast<BYTE*>(m_data.get()) : nullptr, withData ? dataLen : nullptr);
        if (r != ERROR_MORE_DATA || tries == 8) return r;
        // Which buffer was short is not said: the data size is, when it was.
        DWORD data = withData && *dataLen >= m_dataSize ? *dataLen + 1 : m_dataSize;
        if (m_nameSize == kMaxNameBytes && data == m_dataSize) return r;
        if (!Grow(m_nameSize * 2, data)) return ERROR_NOT_ENOUGH_MEMORY;
    }
}

// Deletes the values whose names the image does not hold; one that cannot be
// deleted fails the save, as it would come back at the next load.
static LONG DeleteStaleValues(HKEY key, const CValueImage& image)
{
    DWORD maxName = 0;
    LONG r = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName, nullptr,
                              nullptr, nullptr);
    if (r != ERROR_SUCCESS) return r;
    CValueBuffers buffers(maxName, 0);
    // A deleted value moves those after it down one index.
    for (DWORD index = 0;;) {
        DWORD type = 0, dataLen = 0;
        r = buffers.Enum(key, index, &type, &dataLen, false);
        if (r == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
        if (r != ERROR_SUCCESS) return r;
        if (image.Has(buffers.Name())) {
            ++index;
            continue;
        }
        r = RegDeleteValueA(key, buffers.Name());
        if (r != ERROR_SUCCESS) return r;
    }
}

// ---- CRegValueStore -----------------------------------------------------------

void CRegValueStore::SetKeyPath(const char* path) { SetKeyPath(CString(path)); }
void CRegValueStore::SetKeyPath(const CString& path) { m_keyPath = path; }

bool CRegValueStore::Load()
{
    if (m_keyPath.IsEmpty()) return false;
    CRegKeyHandle key;
    LONG r = key.Open(HKEY_CURRENT_USER, m_keyPath, KEY_ALL_ACCESS);
    if (r != ERROR_SUCCESS) {
        // Only a key that is not there is known to hold nothing.
        m_bIncomplete = r != ERROR_FILE_NOT_FOUND;
        return false;
    }
    m_bIncomplete = !LoadValues(key.Get());
    return !m_bIncomplete;
}

// False when the key's values could not all be read.
bool CRegValueStore::LoadValues(HKEY key)
{
    DWORD maxName = 0, maxData = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName, &maxData,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    CValueBuffers buffers(maxName, maxData);
    if (!buffers.Name() || !buffers.Data()) return false;

    Clear();
    for (DWORD index = 0;; ++index) {
        DWORD dataLen = 0, type = 0;
        LONG r = buffers.Enum(key, index, &type, &dataLen, true);
        if (r != ERROR_SUCCESS) return r == ERROR_NO_MORE_ITEMS;
        const char* name = buffers.Name();
        if (name[0] == 0) continue;  // the unnamed default value
        const char* data = buffers.Data();
        SelectName(name);
        if (type == REG_SZ) {
            if (!AddLoaded(CString(data, static_cast<int>(strnlen(data, dataLen))))) return false;
        } else if (type == REG_MULTI_SZ) {
            CNameList strings;
            if (!strings.FromMultiString(data, dataLen)) return false;
            for (int i = 0; i < strings.GetCount(); ++i)
                if (!AddLoaded(strings.GetAt(i))) return false;
        }
    }
}

// A pair that is there already is no loss; any other refusal is.
bool CRegValueStore::AddLoaded(const CString& value) { return AddValue(value) || HasValue(value); }

// Creates the components of the key path that do not exist, outermost first.
bool CRegValueStore::CreateMissingKeys()
{
    CNameList missing;
    CString path = m_keyPath;
    while (!path.IsEmpty()) {
        CRegKeyHandle probe;
        if (probe.Open(HKEY_CURRENT_USER, path, KEY_ALL_ACCESS) == ERROR_SUCCESS) break;
        int slash = path.ReverseFind('\\');
        CString tail = path.Mid(slash + 1);
        path = slash >= 0 ? path.Left(slash) : CString();
        if (!tail.IsEmpty() && !missing.InsertAt(0, tail)) return false;
    }
    while (missing.GetCount() > 0) {
        CRegKeyHandle parent;
        HKEY parentKey = HKEY_CURRENT_USER;
        if (!path.IsEmpty()) {
            if (parent.Open(HKEY_CURRENT_USER, path, KEY_ALL_ACCESS) != ERROR_SUCCESS) return false;
            parentKey = parent.Get();
        }
        HKEY created = nullptr;
        DWORD disposition = 0;
        if (RegCreateKeyExA(parentKey, missing.GetAt(0), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                            &created, &disposition) != ERROR_SUCCESS)
            return false;
        RegCloseKey(created);
        if (!path.IsEmpty()) path += "\\";
        path += missing.GetAt(0);
        missing.RemoveAt(0);
    }
    return true;
}

bool CRegValueStore::Save()
{
    if (m_keyPath.IsEmpty() || m_bIncomplete) return false;
    // Every value is made before the key is touched, and written before any
    // stale name is deleted: RegSetValueExA replaces a value whole, so at any
    // instant (a failed write, the process ended) each value is as it was or
    // as it is to be.
    CValueImage image;
    if (!MakeImage(image)) return false;
    if (!CreateMissingKeys()) return false;
    CRegKeyHandle key;
    if (key.Open(HKEY_CURRENT_USER, m_keyPath, KEY_ALL_ACCESS) != ERROR_SUCCESS) {
        HKEY created = nullptr;
        DWORD disposition = 0;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, m_keyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                            &created, &disposition) != ERROR_SUCCESS)
            return false;
        key.Attach(created);
    }
    bool complete = true;
    for (const CValueImage::Value* v = image.First(); v; v = v->next)
        if (RegSetValueExA(key.Get(), v->name, 0, v->type, reinterpret_cast<const BYTE*>(v->data.get()), v->size) !=
            ERROR_SUCCESS)
            complete = false;
    // Stale names go last, once everything new is written; after a failed
    // write nothing more is deleted.
    return complete && DeleteStaleValues(key.Get(), image) == ERROR_SUCCESS;
}

// Each name once, in the order first met from the front of the list, with all
// its values: the registry does not tell names apart by letter case, so the
// first of two such names is the one written.
bool CRegValueStore::MakeImage(CValueImage& image)
{
    Rewind();
    CString name, value;
    while (GetNextPair(name, value)) {
        if (image.Has(name)) continue;
        SelectName(name);
        CNameList values;
        CString v;
        while (GetNextValue(v))
            if (!values.Add(v)) return false;
        int needed = 0;
        char probe[2];
        values.ToMultiString(probe, 2, &needed);
        std::unique_ptr<char[]> data(new char[static_cast<std::size_t>(needed)]);
        if (!data || !values.ToMultiString(data.get(), needed, &needed)) return false;
        // One value: a REG_SZ of it with its NUL, the first string of the multi-string.
        bool single = values.GetCount() == 1;
        DWORD size = single ? static_cast<DWORD>(std::strlen(data.get()) + 1) : static_cast<DWORD>(needed);
        if (!image.Add(name, single ? REG_SZ : REG_MULTI_SZ, static_cast<std::unique_ptr<char[]>&&>(data), size))
            return false;
    }
    return true;
}

CValueImage::~CValueImage()
{
    while (m_head) {
        Value* next = m_head->next;
        SecureWipe(m_head->data.get(), m_head->size);
        delete m_head;
        m_head = next;
    }
}

bool CValueImage::Has(const char* name) const
{
    for (const Value* v = m_head; v; v = v->next)
        if (v->name.CompareNoCase(name) == 0) return true;
    return false;
}

bool CValueImage::Add(const CString& name, DWORD type, std::unique_ptr<char[]>&& data, DWORD size)
{
    Value* v = new Value{nullptr, name, type, static_cast<std::unique_ptr<char[]>&&>(data), size};
    if (!v) return false;
    *m_tail = v;
    m_tail = &v->next;
    return true;
}
