#include "password_store.h"

#include <memory>

#include "afxwin.h"
#include "hex_text.h"
#include "pwd_cipher.h"
#include "resource.h"
#include "settings/reg_value_store.h"

static const char kNoPasswordMarker[] = "NULL";

bool SaveProviderPassword(const CString& entry, const CString& password, bool dontSave)
{
    CString value = kNoPasswordMarker;
    if (!dontSave) {
        // A pass-phrase that cannot be loaded would encrypt under the hash of
        // nothing: a password that could never be read back.
        CString passphrase = LoadText(IDS_PASSPHRASE);
        if (passphrase.IsEmpty()) return false;
        DWORD capacity = static_cast<DWORD>(password.GetLength()) + 24;
        std::unique_ptr<BYTE[]> buffer(new BYTE[capacity]);
        if (!buffer) return false;
        CPwdCipher cipher;
        if (!cipher.EncryptString(passphrase, password, buffer.get(), &capacity)) return false;
        value = ToHexText(buffer.get(), capacity);
        if (value.IsEmpty()) return false;
    }
    CRegValueStore store;
    store.SetKeyPath(LoadText(IDS_REG_PWDKEY));
    store.Load();
    store.SelectName(entry);
    // SetValue adds the new value before it drops the old one.
    return store.SetValue(value) && store.Save();
}

bool LoadProviderPassword(const CString& entry, CString& password, bool& noPassword, bool* unreadable)
{
    password.Empty();
    noPassword = false;
    bool failed = false;
    if (!unreadable) unreadable = &failed;
    *unreadable = false;
    CRegValueStore store;
    store.SetKeyPath(LoadText(IDS_REG_PWDKEY));
    // A store that did not load whole may still hold this entry's value.
    bool whole = store.Load();
    store.SelectName(entry);
    CString value;
    if (!store.GetNextValue(value)) {
        *unreadable = !whole && store.IsIncomplete();
        return false;
    }
    if (value == kNoPasswordMarker) {
        noPassword = true;
        return true;
    }
    size_t bytes = HexTextBytes(static_cast<size_t>(value.GetLength()));
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[bytes + 1]);
    if (!buffer) {
        *unreadable = true;
        return false;
    }
    FromHexText(value, static_cast<size_t>(value.GetLength()), buffer.get());
    CPwdCipher cipher;
    bool ok = cipher.DecryptString(LoadText(IDS_PASSPHRASE), buffer.get(), static_cast<DWORD>(bytes), password);
    if (!ok) password.Empty();
    *unreadable = !ok;
    return ok;
}
