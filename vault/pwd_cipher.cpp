#include "pwd_cipher.h"

#include <cstring>
#include <memory>

bool CPwdCipher::DeriveKey(const BYTE* material, DWORD materialLen)
{
    ReleaseKey();
    HCRYPTPROV hProv = 0;
    // Only session keys are made: no key container is opened, created or left
    // behind to be missing or damaged next time.
    if (!CryptAcquireContextA(&hProv, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) return false;
    CCryptProv prov(hProv);
    HCRYPTHASH hHash = 0;
    if (!CryptCreateHash(prov.Get(), CALG_MD5, 0, 0, &hHash)) return false;
    CCryptHash hash(hHash);  // destroyed before the provider, which outlives this scope
    if (!CryptHashData(hash.Get(), material, materialLen, 0)) return false;
    HCRYPTKEY hKey = 0;
    if (!CryptDeriveKey(prov.Get(), CALG_RC2, hash.Get(), 0, &hKey)) return false;
    m_prov = static_cast<CCryptProv&&>(prov);
    m_key.Reset(hKey);
    return true;
}

void CPwdCipher::ReleaseKey()
{
    m_key.Reset();
    m_prov.Reset();
}

bool CPwdCipher::Run(bool encrypt, const BYTE* material, DWORD materialLen, const BYTE* in, DWORD inLen, BYTE* out,
                     DWORD* capacity)
{
    if (!DeriveKey(material, materialLen)) return false;
    if (*capacity < inLen) {
        *capacity = inLen;
        ReleaseKey();
        return false;
    }
    std::memcpy(out, in, inLen);
    DWORD len = inLen;
    BOOL ok = encrypt ? CryptEncrypt(m_key.Get(), 0, TRUE, 0, out, &len, *capacity)
                      : CryptDecrypt(m_key.Get(), 0, TRUE, 0, out, &len);
    DWORD err = ok ? 0 : GetLastError();
    ReleaseKey();
    if (ok) {
        *capacity = len;
        return true;
    }
    if (err == static_cast<DWORD>(NTE_BAD_LEN)) *capacity = len;
    SecureWipe(out, inLen);
    return false;
}

bool CPwdCipher::EncryptBytes(const BYTE* material, DWORD materialLen, const BYTE* plain, DWORD plainLen, BYTE* out,
                              DWORD* capacity)
{
    return Run(true, material, materialLen, plain, plainLen, out, capacity);
}

bool CPwdCipher::DecryptBytes(const BYTE* material, DWORD materialLen, const BYTE* cipher, DWORD cipherLen, BYTE* out,
                              DWORD* capacity)
{
    // No ciphertext is shorter than one padded block; Wine's provider never
    // returns from an empty one, so an empty stored value must not reach it.
    if (cipherLen == 0) return false;
    return Run(false, material, materialLen, cipher, cipherLen, out, capacity);
}

bool CPwdCipher::EncryptString(const CString& passphrase, const CString& password, BYTE* out, DWORD* capacity)
{
    return EncryptBytes(reinterpret_cast<const BYTE*>(passphrase.c_str()), static_cast<DWORD>(passphrase.GetLength()),
                        reinterpret_cast<const BYTE*>(password.c_str()), static_cast<DWORD>(password.GetLength()),
                        out, capacity);
}

bool CPwdCipher::DecryptString(const CString& passphrase, const BYTE* cipher, DWORD cipherLen, CString& password)
{
    std::unique_ptr<BYTE[]> work(new BYTE[cipherLen + 25]);
    if (!work) return false;
    DWORD capacity = cipherLen + 24;
    bool ok = DecryptBytes(reinterpret_cast<const BYTE*>(passphrase.c_str()), static_cast<DWORD>(passphrase.GetLength()),
                           cipher, cipherLen, work.get(), &capacity);
    if (ok) {
        work[capacity] = 0;
        password = reinterpret_cast<const char*>(work.get());
    }
    SecureWipe(work.get(), cipherLen + 25);
    return ok;
}
