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
    CRegValueStore store;
    store.SetKeyPath(LoadText(IDS_REG_PWDKEY));
    store.Load();
    store.SelectName(entry);
    if (dontSave) {
        store.SetValue(kNoPasswordMarker);
    } else {
        DWORD capacity = static_cast<DWORD>(password.GetLength()) + 24;
        std::unique_ptr<BYTE[]> buffer(new BYTE[capacity]);
        if (!buffer) return false;
        CString passphrase = LoadText(IDS_PASSPHRASE);
        CPwdCipher cipher;
        if (!cipher.EncryptString(passphrase, password, buffer.get(), &capacity)) return false;
        CString hex = ToHexText(buffer.get(), capacity);
        store.SelectName(entry);
        store.SetValue(hex);
    }
    return store.Save();
}

bool LoadProviderPassword(const CString& entry, CString& password, bool& noPassword)
{
    password.Empty();
    noPassword = false;
    CRegValueStore store;
    store.SetKeyPath(LoadText(IDS_REG_PWDKEY));
    if (!store.Load()) return false;
    store.SelectName(entry);
    CString value;
    if (!store.GetNextValue(value)) return false;
    if (value == kNoPasswordMarker) {
        noPassword = true;
        return true;
    }
    size_t bytes = HexTextBytes(static_cast<size_t>(value.GetLength()));
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[bytes + 1]);
    if (!buffer) return false;
    FromHexText(value, static_cast<size_t>(value.GetLength()), buffer.get());
    CPwdCipher cipher;
    bool ok = cipher.DecryptString(LoadText(IDS_PASSPHRASE), buffer.get(), static_cast<DWORD>(bytes), password);
    if (!ok) password.Empty();
    return ok;
}
