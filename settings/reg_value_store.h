// The value store of one registry key below HKEY_CURRENT_USER, and the owner
// of one open registry key.
#pragma once
#include <memory>

#include "value_store.h"
#include "win.h"

class CRegKeyHandle {
public:
    CRegKeyHandle() = default;
    CRegKeyHandle(const CRegKeyHandle&) = delete;
    CRegKeyHandle& operator=(const CRegKeyHandle&) = delete;
    ~CRegKeyHandle() { Close(); }

    LONG Open(HKEY parent, const char* subKey, REGSAM access);
    LONG Close();
    void Attach(HKEY key)
    {
        Close();
        m_hKey = key;
    }
    LONG QueryStringValue(CString& out, const CString& valueName);
    LONG DeleteAllValues();
    HKEY Get() const { return m_hKey; }

private:
    HKEY m_hKey = nullptr;
};

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
    bool Has(const CString& name) const;  // letter case ignored, as the registry does
    bool Add(const CString& name, DWORD type, std::unique_ptr<char[]>&& data, DWORD size);
    const Value* First() const { return m_head; }

private:
    Value* m_head = nullptr;
    Value** m_tail = &m_head;
};

class CRegValueStore final : public CValueStore {
public:
    CRegValueStore() = default;
    ~CRegValueStore() = default;

    void SetKeyPath(const char* path) override;
    void SetKeyPath(const CString& path) override;
    bool Load() override;
    bool Save() override;

private:
    bool LoadValues(HKEY key);
    bool AddLoaded(const CString& value);
    bool MakeImage(CValueImage& image);
    bool CreateMissingKeys();
    CString m_keyPath;
    // Set when the key exists but could not be read whole: a save would then
    // delete values the store never saw, so it saves nothing.
    bool m_bIncomplete = false;
};
