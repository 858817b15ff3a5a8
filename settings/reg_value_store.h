// The value store of one registry key below HKEY_CURRENT_USER, and the owner
// of one open registry key.
#pragma once
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
    HKEY Get() const { return m_hKey; }

private:
    HKEY m_hKey = nullptr;
};

class CValueImage;

class CRegValueStore final : public CValueStore {
public:
    CRegValueStore() = default;
    ~CRegValueStore() = default;

    void SetKeyPath(const char* path) override;
    void SetKeyPath(const CString& path) override;
    bool Load() override;
    bool Save() override;
    // The key exists but the last load could not read it whole.
    bool IsIncomplete() const { return m_bIncomplete; }

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
