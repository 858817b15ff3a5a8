#include "reg_value_store.h"

#include <cstring>
#include <memory>
#include <new>

#include "name_list.h"

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
    std::unique_ptr<char[]> buf(new (std::nothrow) char[size + 1]);
    if (!buf) return ERROR_NOT_ENOUGH_MEMORY;
    r = RegQueryValueExA(m_hKey, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(buf.get()), &size);
    if (r == ERROR_SUCCESS) {
        // The data need not carry its NUL: never read past what was returned.
        buf[size] = 0;
        out = CString(buf.get(), static_cast<int>(strnlen(buf.get(), size)));
    }
    SecureWipe(buf.get(), size);
    return r;
}

LONG CRegKeyHandle::DeleteAllValues()
{
    DWORD maxName = 0;
    LONG r = RegQueryInfoKeyA(m_hKey, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName,
                              nullptr, nullptr, nullptr);
    if (r != ERROR_SUCCESS) return r;
    std::unique_ptr<char[]> name(new (std::nothrow) char[maxName + 1]);
    if (!name) return ERROR_NOT_ENOUGH_MEMORY;
    for (;;) {
        // Always delete the first value: the indices move as values go.
        DWORD len = maxName + 1;
        r = RegEnumValueA(m_hKey, 0, name.get(), &len, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
        if (r != ERROR_SUCCESS) return r;
        r = RegDeleteValueA(m_hKey, name.get());
        if (r != ERROR_SUCCESS) return r;
    }
}

// ---- CRegValueStore -----------------------------------------------------------

namespace {
// Failure codes raised inside Load and Save and caught there.
enum StoreFailure { kNoKey = 1, kNoResources = 2 };
}

void CRegValueStore::SetKeyPath(const char* path) { SetKeyPath(CString(path)); }
void CRegValueStore::SetKeyPath(const CString& path) { m_keyPath = path; }

bool CRegValueStore::Load()
{
    CRegKeyHandle key;
    try {
        if (m_keyPath.IsEmpty()) throw kNoKey;
        if (key.Open(HKEY_CURRENT_USER, m_keyPath, KEY_ALL_ACCESS) != ERROR_SUCCESS) throw kNoKey;
        LoadValues(key.Get());
    } catch (StoreFailure) {
        return false;  // the key closes itself
    }
    return true;
}

void CRegValueStore::LoadValues(HKEY key)
{
    DWORD maxName = 0, maxData = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName, &maxData,
                         nullptr, nullptr) != ERROR_SUCCESS)
        throw kNoResources;
    std::unique_ptr<char[]> name(new (std::nothrow) char[maxName + 1]);
    // One spare byte past the longest data, so a string can always be closed.
    std::unique_ptr<char[]> data(new (std::nothrow) char[maxData + 1]);
    if (!name || !data) throw kNoResources;

    Clear();
    for (DWORD index = 0;; ++index) {
        DWORD nameLen = maxName + 1, dataLen = maxData, type = 0;
        LONG r = RegEnumValueA(key, index, name.get(), &nameLen, nullptr, &type,
                               reinterpret_cast<BYTE*>(data.get()), &dataLen);
        if (r != ERROR_SUCCESS) break;
        if (nameLen == 0 || name[0] == 0) continue;  // the unnamed default value
        if (dataLen > maxData) dataLen = maxData;
        SelectName(name.get());
        if (type == REG_SZ) {
            AddValue(CString(data.get(), static_cast<int>(strnlen(data.get(), dataLen))));
        } else if (type == REG_MULTI_SZ) {
            CNameList strings;
            if (strings.FromMultiString(data.get(), dataLen))
                for (int i = 0; i < strings.GetCount(); ++i) AddValue(strings.GetAt(i));
        }
    }
    SecureWipe(data.get(), maxData + 1);
}

bool CRegValueStore::Save()
{
    try {
        if (m_keyPath.IsEmpty()) throw kNoKey;

        // The deepest key on the path that exists; the components below it go
        // into the missing list, outermost first.
        CNameList missing;
        CString path = m_keyPath;
        while (!path.IsEmpty()) {
            CRegKeyHandle probe;
            if (probe.Open(HKEY_CURRENT_USER, path, KEY_ALL_ACCESS) == ERROR_SUCCESS) break;
            int slash = path.ReverseFind('\\');
            CString tail = path.Mid(slash + 1);
            path = slash >= 0 ? path.Left(slash) : CString();
            if (!tail.IsEmpty() && !missing.InsertAt(0, tail)) throw kNoResources;
        }

        while (missing.GetCount() > 0) {
            CRegKeyHandle parent;
            HKEY parentKey = HKEY_CURRENT_USER;
            if (!path.IsEmpty()) {
                if (parent.Open(HKEY_CURRENT_USER, path, KEY_ALL_ACCESS) != ERROR_SUCCESS) throw kNoKey;
                parentKey = parent.Get();
            }
            HKEY created = nullptr;
            DWORD disposition = 0;
            if (RegCreateKeyExA(parentKey, missing.GetAt(0), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                nullptr, &created, &disposition) != ERROR_SUCCESS)
                throw kNoResources;
            RegCloseKey(created);
            if (!path.IsEmpty()) path += "\\";
            path += missing.GetAt(0);
            missing.RemoveAt(0);
        }

        CRegKeyHandle key;
        if (key.Open(HKEY_CURRENT_USER, m_keyPath, KEY_ALL_ACCESS) == ERROR_SUCCESS) {
            key.DeleteAllValues();
        } else {
            HKEY created = nullptr;
            DWORD disposition = 0;
            if (RegCreateKeyExA(HKEY_CURRENT_USER, m_keyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                nullptr, &created, &disposition) != ERROR_SUCCESS)
                throw kNoKey;
            key.Attach(created);
        }
        SaveValues(key.Get());
    } catch (StoreFailure) {
        return false;
    }
    return true;
}

void CRegValueStore::SaveValues(HKEY key)
{
    Rewind();
    CString name, value;
    while (GetNextPair(name, value)) {
        // A name already in the key was written earlier in this save, whole.
        if (RegQueryValueExA(key, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) continue;
        SelectName(name);
        CNameList values;
        CString v;
        bool complete = true;
        while (GetNextValue(v))
            if (!values.Add(v)) complete = false;
        if (!complete) continue;
        if (values.GetCount() == 1) {
            const char* s = values.GetAt(0);
            RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(s),
                           static_cast<DWORD>(std::strlen(s) + 1));
        } else if (values.GetCount() > 1) {
            int needed = 0;
            char probe[2];
            values.ToMultiString(probe, 2, &needed);
            std::unique_ptr<char[]> data(new (std::nothrow) char[static_cast<std::size_t>(needed)]);
            if (!data || !values.ToMultiString(data.get(), needed, &needed)) continue;
            RegSetValueExA(key, name, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.get()),
                           static_cast<DWORD>(needed));
        }
    }
}
