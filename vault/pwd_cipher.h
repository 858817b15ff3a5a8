// Encryption of provider passwords with CryptoAPI: MD5 of the key material,
// an RC2 key derived from it, one operation, everything released again.
#pragma once
#include "cstring.h"
#include "handles.h"
#include "win.h"
#include <wincrypt.h>

class CPwdCipher {
public:
    CPwdCipher() = default;
    CPwdCipher(const CPwdCipher&) = delete;
    CPwdCipher& operator=(const CPwdCipher&) = delete;
    ~CPwdCipher() { ReleaseKey(); }

    bool DeriveKey(const BYTE* material, DWORD materialLen);
    void ReleaseKey();
    bool EncryptBytes(const BYTE* material, DWORD materialLen, const BYTE* plain, DWORD plainLen, BYTE* out,
                      DWORD* capacity);
    bool DecryptBytes(const BYTE* material, DWORD materialLen, const BYTE* cipher, DWORD cipherLen, BYTE* out,
                      DWORD* capacity);
    bool EncryptString(const CString& passphrase, const CString& password, BYTE* out, DWORD* capacity);
    bool DecryptString(const CString& passphrase, const BYTE* cipher, DWORD cipherLen, CString& password);

    bool HoldsHandles() const { return m_prov || m_key; }

private:
    bool Run(bool encrypt, const BYTE* material, DWORD materialLen, const BYTE* in, DWORD inLen, BYTE* out,
             DWORD* capacity);

    // The key is declared last: it is destroyed before its provider is released.
    CCryptProv m_prov;
    CCryptKey m_key;
};
