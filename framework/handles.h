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
    CScopedHandle(CScopedHandle&& o) noexcept : m_h(o.m_h) { o.m_h = T(); }
    CScopedHandle& operator=(CScopedHandle&& o) noexcept
    {
        if (this != &o) {
            Reset(o.m_h);
            o.m_h = T();
        }
        return *this;
    }
    ~CScopedHandle() { Reset(); }

    T Get() const { return m_h; }
    void Reset(T h = T())
    {
        if (m_h) Closer()(m_h);
        m_h = h;
    }
    T Release()  // the caller owns it from now on
    {
        T h = m_h;
        m_h = T();
        return h;
    }
    explicit operator bool() const { return m_h != T(); }

private:
    T m_h = T();
};

struct DcDeleter { void operator()(HDC h) const { DeleteDC(h); } };
struct GdiObjectDeleter { void operator()(HGDIOBJ h) const { DeleteObject(h); } };
struct GlobalFreer { void operator()(HGLOBAL h) const { GlobalFree(h); } };
struct CryptProvReleaser { void operator()(HCRYPTPROV h) const { CryptReleaseContext(h, 0); } };
struct CryptKeyDestroyer { void operator()(HCRYPTKEY h) const { CryptDestroyKey(h); } };
struct CryptHashDestroyer { void operator()(HCRYPTHASH h) const { CryptDestroyHash(h); } };
struct KernelHandleCloser { void operator()(HANDLE h) const { CloseHandle(h); } };

using CMemDC = CScopedHandle<HDC, DcDeleter>;
using CGdiObject = CScopedHandle<HGDIOBJ, GdiObjectDeleter>;
using CGlobalMem = CScopedHandle<HGLOBAL, GlobalFreer>;
using CCryptProv = CScopedHandle<HCRYPTPROV, CryptProvReleaser>;
using CCryptKey = CScopedHandle<HCRYPTKEY, CryptKeyDestroyer>;
using CCryptHash = CScopedHandle<HCRYPTHASH, CryptHashDestroyer>;
using CKernelHandle = CScopedHandle<HANDLE, KernelHandleCloser>;

// The DC of one WM_PAINT, ended with the scope.
class CPaintDC {
public:
    explicit CPaintDC(HWND wnd) : m_wnd(wnd), m_dc(BeginPaint(wnd, &m_ps)) {}
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;
    ~CPaintDC() { EndPaint(m_wnd, &m_ps); }
    HDC Get() const { return m_dc; }

private:
    HWND m_wnd;
    PAINTSTRUCT m_ps{};
    HDC m_dc;
};

// A window's client-area DC, released with the scope.
class CClientDC {
public:
    explicit CClientDC(HWND wnd) : m_wnd(wnd), m_dc(GetDC(wnd)) {}
    CClientDC(const CClientDC&) = delete;
    CClientDC& operator=(const CClientDC&) = delete;
    ~CClientDC() { if (m_dc) ReleaseDC(m_wnd, m_dc); }
    HDC Get() const { return m_dc; }

private:
    HWND m_wnd;
    HDC m_dc;
};

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

// One reference to a COM interface, released with the scope.
template <class I>
class CComPtr {
public:
    CComPtr() = default;
    CComPtr(const CComPtr&) = delete;
    CComPtr& operator=(const CComPtr&) = delete;
    ~CComPtr() { if (m_p) m_p->Release(); }
    // For the out parameter of CoCreateInstance and QueryInterface.
    void** Receive()
    {
        if (m_p) m_p->Release();
        m_p = nullptr;
        return reinterpret_cast<void**>(&m_p);
    }
    I* operator->() const { return m_p; }

private:
    I* m_p = nullptr;
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
