// One move-only owner for every kind of Win32 handle: the close function is a
// template argument, so a handle is closed exactly once and never copied.
#pragma once
#include "win.h"
#include <wincrypt.h>
#include <objbase.h>

template <class T, class Closer>
class CScopedHandle {
public:
    CScopedHandle() = default;
    explicit CScopedHandle(T h) : m_h(h) {}
    CScopedHandle(const CScopedHandle&) = delete;
    CScopedHandle& operator=(const CScopedHandle&) = delete;
    CScopedHandle(CScopedHandle&& o) noexcept : m_h(o.Detach()) {}
    CScopedHandle& operator=(CScopedHandle&& o) noexcept
    {
        if (this != &o) Reset(o.Detach());
        return *this;
    }
    ~CScopedHandle() { Reset(); }

    T Get() const { return m_h; }
    T* Receive()  // for out parameters; releases what was held
    {
        Reset();
        return &m_h;
    }
    T Detach()
    {
        T h = m_h;
        m_h = T();
        return h;
    }
    void Reset(T h = T())
    {
        if (m_h) Closer()(m_h);
        m_h = h;
    }
    explicit operator bool() const { return m_h != T(); }

private:
    T m_h = T();
};

struct RegKeyCloser { void operator()(HKEY h) const { RegCloseKey(h); } };
struct DcDeleter { void operator()(HDC h) const { DeleteDC(h); } };
struct GdiObjectDeleter { void operator()(HGDIOBJ h) const { DeleteObject(h); } };
struct GlobalFreer { void operator()(HGLOBAL h) const { GlobalFree(h); } };
struct HandleCloser { void operator()(HANDLE h) const { CloseHandle(h); } };
struct CryptProvReleaser { void operator()(HCRYPTPROV h) const { CryptReleaseContext(h, 0); } };
struct CryptKeyDestroyer { void operator()(HCRYPTKEY h) const { CryptDestroyKey(h); } };
struct CryptHashDestroyer { void operator()(HCRYPTHASH h) const { CryptDestroyHash(h); } };
struct ComReleaser { void operator()(IUnknown* p) const { p->Release(); } };

using CMemDC = CScopedHandle<HDC, DcDeleter>;
using CGdiObject = CScopedHandle<HGDIOBJ, GdiObjectDeleter>;
using CGlobalMem = CScopedHandle<HGLOBAL, GlobalFreer>;
using CKernelHandle = CScopedHandle<HANDLE, HandleCloser>;

// Selects an object into a DC for one scope and puts the previous one back.
class CSelectObject {
public:
    CSelectObject(HDC dc, HGDIOBJ obj) : m_dc(dc), m_old(SelectObject(dc, obj)) {}
    CSelectObject(const CSelectObject&) = delete;
    CSelectObject& operator=(const CSelectObject&) = delete;
    ~CSelectObject() { if (m_old) SelectObject(m_dc, m_old); }

private:
    HDC m_dc;
    HGDIOBJ m_old;
};

// COM or OLE initialisation for one scope; uninitialises only what succeeded.
class COleInit {
public:
    COleInit() : m_ok(SUCCEEDED(OleInitialize(nullptr))) {}
    COleInit(const COleInit&) = delete;
    COleInit& operator=(const COleInit&) = delete;
    ~COleInit() { if (m_ok) OleUninitialize(); }

private:
    bool m_ok;
};
