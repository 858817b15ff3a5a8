// A page heap for the test bed: loaded into a program whose name is listed in
// PENDRO_GUARD_HEAP, it takes over ntdll's heap functions, so that from then
// on every block of every heap ends at a page whose next page is never
// mapped. The first byte written past a block faults at the writing
// instruction; a freed block's pages are unmapped, so a use after free faults
// too. New blocks are filled with a byte that differs from run to run, so a
// read of what was never written shows. Blocks made before it was loaded stay
// with Wine's heap, which validates them as before.
//
// What it finds goes into the run's heap log (PENDRO_WINE_LOG) as a line of
// Wine's own form, "pid:tid:err:heap:...", which fails the test that started
// the program.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

constexpr SIZE_T kPage = 4096;
constexpr SIZE_T kAlign = 2 * sizeof(void*);  // the heap's own alignment
constexpr SIZE_T kMaxPages = 64;              // larger blocks stay with Wine's heap
#ifdef _WIN64
constexpr SIZE_T kRegionPages = 262144;  // 1 GiB of address space
#else
constexpr SIZE_T kRegionPages = 65536;  // 256 MiB: a 32-bit process has 2 GiB
#endif
constexpr DWORD kMagic = 0x47554152;  // "GUAR"
constexpr BYTE kSlackFill = 0xFD;
constexpr ULONG kZeroMemory = HEAP_ZERO_MEMORY, kInPlaceOnly = HEAP_REALLOC_IN_PLACE_ONLY;

struct Header {  // just before the block
    SIZE_T size;
    void* userValue;
    ULONG userFlags;
    UINT32 firstPage, pages;  // the block's pages, its guard page included
    DWORD magic;
};

char* g_region = nullptr;
SIZE_T g_regionPages = 0;  // as much of kRegionPages as could be reserved
UINT32 g_slotOfPage[kRegionPages];  // first page + 1 of the live block holding a page; 0: none
UINT32 g_nextFree[kRegionPages];    // free lists, linked through their first pages
UINT32 g_freeHead[kMaxPages + 2];   // by pages, guard included; first page + 1
SIZE_T g_bump = 0;
// Freed blocks wait here, unmapped, before their pages are used again.
constexpr int kQuarantine = 4096;
UINT32 g_quarantine[kQuarantine][2];
int g_quarantineNext = 0;
volatile LONG g_lock = 0;  // a spin lock: a system lock might allocate
BYTE g_fill = 0xA5;

BOOLEAN(WINAPI* g_shuttingDown)() = nullptr;  // ntdll's RtlDllShutdownInProgress

struct Lock {
    // As Wine does with its own locks: a process that is ending does not wait
    // for a thread it has killed, which may have been holding this one.
    Lock()
    {
        while (InterlockedCompareExchange(&g_lock, 1, 0)) {
            if (g_shuttingDown && g_shuttingDown()) return;
            Sleep(0);
        }
        m_held = true;
    }
    ~Lock()
    {
        if (m_held) InterlockedExchange(&g_lock, 0);
    }
    bool m_held = false;
};

void Write(const char* kind, const char* fmt, va_list args)
{
    char text[512];
    int n = std::snprintf(text, sizeof text, "%04lx:%04lx:%s:heap:guard ", GetCurrentProcessId(), GetCurrentThreadId(), kind);
    n += std::vsnprintf(text + n, sizeof text - static_cast<size_t>(n) - 2, fmt, args);
    text[n++] = '\n';
    text[n] = 0;
    char path[MAX_PATH];
    DWORD len = GetEnvironmentVariableA("PENDRO_WINE_LOG", path, sizeof path);
    HANDLE f = len && len < sizeof path ? CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                      OPEN_ALWAYS, 0, nullptr)
                                        : GetStdHandle(STD_ERROR_HANDLE);
    DWORD written;
    WriteFile(f, text, static_cast<DWORD>(n), &written, nullptr);
    if (len && f != INVALID_HANDLE_VALUE) CloseHandle(f);
}

void Report(const char* fmt, ...)  // a fault found: fails the test
{
    va_list args;
    va_start(args, fmt);
    Write("err", fmt, args);
    va_end(args);
}

void Note(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    Write("info", fmt, args);
    va_end(args);
}

bool Ours(const void* p)
{
    return g_region && p >= g_region && static_cast<const char*>(p) < g_region + g_regionPages * kPage;
}
SIZE_T PageOf(const void* p) { return static_cast<SIZE_T>(static_cast<const char*>(p) - g_region) / kPage; }
SIZE_T Rounded(SIZE_T size) { return (size + kAlign - 1) & ~(kAlign - 1); }
SIZE_T PagesFor(SIZE_T size) { return (Rounded(size) + sizeof(Header) + kPage - 1) / kPage; }

// The live block whose user pointer p is, or null (reported when p lies in
// the region without being one). Its header's page is always one of its own.
Header* Live(const void* p, const char* what)
{
    char* at = static_cast<char*>(const_cast<void*>(p)) - sizeof(Header);
    UINT32 slot = at >= g_region ? g_slotOfPage[PageOf(at)] : 0;
    Header* h = reinterpret_cast<Header*>(at);
    if (slot && h->magic == kMagic && h->firstPage + 1 == slot) return h;
    Report("%s of %p: %s", what, p, slot ? "not the start of a block, or its header overwritten" : "a freed block");
    return nullptr;
}

// The bytes between the block's end and its page's end, if any, hold the
// fill; a write there hit no guard page.
bool TailIntact(const void* p, const Header* h)
{
    const BYTE* end = static_cast<const BYTE*>(p) + h->size;
    for (SIZE_T i = 0; i < Rounded(h->size) - h->size; ++i)
        if (end[i] != kSlackFill) return false;
    return true;
}

void* Allocate(SIZE_T size, ULONG flags)
{
    SIZE_T pages = PagesFor(size) + 1, first;
    {
        Lock lock;
        if (g_freeHead[pages]) {
            first = g_freeHead[pages] - 1;
            g_freeHead[pages] = g_nextFree[first];
        } else if (g_bump + pages <= g_regionPages) {
            first = g_bump;
            g_bump += pages;
        } else {
            return nullptr;  // the region is full: Wine's heap takes it
        }
        for (SIZE_T i = 0; i < pages - 1; ++i) g_slotOfPage[first + i] = static_cast<UINT32>(first + 1);
    }
    char* start = g_region + first * kPage;
    if (!VirtualAlloc(start, (pages - 1) * kPage, MEM_COMMIT, PAGE_READWRITE)) return nullptr;
    char* user = start + (pages - 1) * kPage - Rounded(size);
    Header* h = reinterpret_cast<Header*>(user) - 1;
    *h = Header{size, nullptr, flags & 0xF00, static_cast<UINT32>(first), static_cast<UINT32>(pages), kMagic};
    std::memset(user, flags & kZeroMemory ? 0 : g_fill, size);
    std::memset(user + size, kSlackFill, Rounded(size) - size);
    return user;
}

void Release(void* p, Header* h)
{
    if (!TailIntact(p, h)) Report("block %p of %lu bytes: written past its end", p, static_cast<unsigned long>(h->size));
    SIZE_T pages = h->pages, first = h->firstPage;
    h->magic = 0;
    VirtualFree(g_region + first * kPage, (pages - 1) * kPage, MEM_DECOMMIT);
    Lock lock;
    for (SIZE_T i = 0; i < pages - 1; ++i) g_slotOfPage[first + i] = 0;
    UINT32* q = g_quarantine[g_quarantineNext];
    if (q[1]) {  // the oldest goes back into its free list
        g_nextFree[q[0]] = g_freeHead[q[1]];
        g_freeHead[q[1]] = q[0] + 1;
    }
    q[0] = static_cast<UINT32>(first);
    q[1] = static_cast<UINT32>(pages);
    g_quarantineNext = (g_quarantineNext + 1) % kQuarantine;
}

// ---- the hooks ------------------------------------------------------------

using AllocateFn = void*(WINAPI*)(HANDLE, ULONG, SIZE_T);
using FreeFn = BOOLEAN(WINAPI*)(HANDLE, ULONG, void*);
using ReAllocateFn = void*(WINAPI*)(HANDLE, ULONG, void*, SIZE_T);
using SizeFn = SIZE_T(WINAPI*)(HANDLE, ULONG, const void*);
using ValidateFn = BOOLEAN(WINAPI*)(HANDLE, ULONG, const void*);
using GetUserInfoFn = BOOLEAN(WINAPI*)(HANDLE, ULONG, void*, void**, ULONG*);
using SetUserValueFn = BOOLEAN(WINAPI*)(HANDLE, ULONG, void*, void*);
using SetUserFlagsFn = BOOLEAN(WINAPI*)(HANDLE, ULONG, void*, ULONG, ULONG);

AllocateFn realAllocate;
FreeFn realFree;
ReAllocateFn realReAllocate;
SizeFn realSize;
ValidateFn realValidate;
GetUserInfoFn realGetUserInfo;
SetUserValueFn realSetUserValue;
SetUserFlagsFn realSetUserFlags;

void* WINAPI GuardAllocate(HANDLE heap, ULONG flags, SIZE_T size)
{
    if (PagesFor(size) <= kMaxPages)
        if (void* p = Allocate(size, flags)) return p;
    return realAllocate(heap, flags, size);
}

BOOLEAN WINAPI GuardFree(HANDLE heap, ULONG flags, void* p)
{
    if (!Ours(p)) return realFree(heap, flags, p);
    Header* h = Live(p, "free");
    if (!h) return FALSE;
    Release(p, h);
    return TRUE;
}

void* WINAPI GuardReAllocate(HANDLE heap, ULONG flags, void* p, SIZE_T size)
{
    if (!Ours(p)) return realReAllocate(heap, flags, p, size);
    Header* h = Live(p, "reallocation");
    if (!h) return nullptr;
    if (Rounded(size) == Rounded(h->size)) {  // the same place: only the fill moves
        if (!TailIntact(p, h)) Report("block %p: written past its end", p);
        if (size > h->size) std::memset(static_cast<char*>(p) + h->size, flags & kZeroMemory ? 0 : g_fill, size - h->size);
        h->size = size;
        std::memset(static_cast<char*>(p) + size, kSlackFill, Rounded(size) - size);
        return p;
    }
    if (flags & kInPlaceOnly) return nullptr;
    void* q = GuardAllocate(heap, flags, size);
    if (!q) return nullptr;
    std::memcpy(q, p, size < h->size ? size : h->size);
    if (Ours(q)) {
        Header* n = reinterpret_cast<Header*>(q) - 1;
        n->userValue = h->userValue;
        n->userFlags = h->userFlags;
    }
    Release(p, h);
    return q;
}

SIZE_T WINAPI GuardSize(HANDLE heap, ULONG flags, const void* p)
{
    if (!Ours(p)) return realSize(heap, flags, p);
    Header* h = Live(p, "size");
    return h ? h->size : ~static_cast<SIZE_T>(0);
}

BOOLEAN WINAPI GuardValidate(HANDLE heap, ULONG flags, const void* p)
{
    if (!Ours(p)) return realValidate(heap, flags, p);
    Header* h = Live(p, "validation");
    if (h && !TailIntact(p, h)) {
        Report("block %p of %lu bytes: written past its end", p, static_cast<unsigned long>(h->size));
        return FALSE;
    }
    return h != nullptr;
}

BOOLEAN WINAPI GuardGetUserInfo(HANDLE heap, ULONG flags, void* p, void** value, ULONG* userFlags)
{
    if (!Ours(p)) return realGetUserInfo(heap, flags, p, value, userFlags);
    Header* h = Live(p, "user information");
    if (!h) return FALSE;
    if (value) *value = h->userValue;
    if (userFlags) *userFlags = h->userFlags & ~static_cast<ULONG>(0x100);  // HEAP_ADD_USER_INFO
    return TRUE;
}

BOOLEAN WINAPI GuardSetUserValue(HANDLE heap, ULONG flags, void* p, void* value)
{
    if (!Ours(p)) return realSetUserValue(heap, flags, p, value);
    Header* h = Live(p, "user value");
    if (h) h->userValue = value;
    return h != nullptr;
}

BOOLEAN WINAPI GuardSetUserFlags(HANDLE heap, ULONG flags, void* p, ULONG clear, ULONG set)
{
    if (!Ours(p)) return realSetUserFlags(heap, flags, p, clear, set);
    Header* h = Live(p, "user flags");
    if (h) h->userFlags = (h->userFlags & ~clear) | set;
    return h != nullptr;
}

// A fault in the region: a block's guard page or a freed block.
LONG WINAPI OnFault(EXCEPTION_POINTERS* e)
{
    const EXCEPTION_RECORD* r = e->ExceptionRecord;
    if (r->ExceptionCode != EXCEPTION_ACCESS_VIOLATION || r->NumberParameters < 2) return EXCEPTION_CONTINUE_SEARCH;
    const char* at = reinterpret_cast<const char*>(r->ExceptionInformation[1]);
    if (!Ours(at)) return EXCEPTION_CONTINUE_SEARCH;
    HMODULE module = nullptr;
    char name[MAX_PATH] = "?";
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           static_cast<LPCSTR>(r->ExceptionAddress), &module))
        GetModuleFileNameA(module, name, sizeof name);
    const char* base = std::strrchr(name, '\\');
    SIZE_T page = PageOf(at);
    bool afterBlock = page > 0 && g_slotOfPage[page - 1] && !g_slotOfPage[page];
    Report("%s %p %s, by the instruction at %s+0x%lx", r->ExceptionInformation[0] ? "write to" : "read of", at,
           afterBlock ? "just past a block (its guard page)" : "in a freed block", base ? base + 1 : name,
           static_cast<unsigned long>(static_cast<const char*>(r->ExceptionAddress) - reinterpret_cast<char*>(module)));
    return EXCEPTION_CONTINUE_SEARCH;  // the program crashes there, as it should
}

// ---- patching ntdll -------------------------------------------------------

// Bytes of the whole instructions at code that fill at least 5 bytes, among
// those heap functions begin with; 0 for anything else.
SIZE_T PrologueLength(const BYTE* code)
{
    SIZE_T n = 0;
    while (n < 5) {
        const BYTE* c = code + n;
        SIZE_T len = 0;
#ifdef _WIN64
        static const BYTE hotpatch[] = {0x48, 0x8D, 0xA4, 0x24, 0, 0, 0, 0};  // lea rsp, [rsp+0]
        if (std::memcmp(c, hotpatch, sizeof hotpatch) == 0) len = 8;
        else if (c[0] >= 0x50 && c[0] <= 0x57) len = 1;                                    // push
        else if (c[0] == 0x41 && c[1] >= 0x50 && c[1] <= 0x57) len = 2;                    // push r8-r15
        else if (c[0] == 0x48 && c[1] == 0x83 && c[2] == 0xEC) len = 4;                    // sub rsp, imm8
        else if ((c[0] & 0xF0) == 0x40 && (c[1] == 0x89 || c[1] == 0x8B) && c[2] >= 0xC0) len = 3;  // mov reg, reg
#else
        if (c[0] == 0x8B && (c[1] == 0xFF || c[1] == 0xEC)) len = 2;          // mov edi, edi; mov ebp, esp
        else if (c[0] == 0x89 && c[1] == 0xE5) len = 2;                       // mov ebp, esp
        else if (c[0] >= 0x50 && c[0] <= 0x5F) len = 1;                       // push, pop
        else if (c[0] == 0x8D && c[1] == 0x4C && c[2] == 0x24) len = 4;       // lea ecx, [esp+imm8]
        else if (c[0] == 0x83 && c[1] == 0xE4) len = 3;                       // and esp, imm8
        else if (c[0] == 0xFF && c[1] == 0x71) len = 3;                       // push [ecx+imm8]
#endif
        if (!len) return 0;
        n += len;
    }
    return n;
}

BYTE* g_code = nullptr;  // trampolines and jumps, near ntdll
SIZE_T g_codeUsed = 0;

BYTE* Code(SIZE_T n)
{
    BYTE* p = g_code + g_codeUsed;
    g_codeUsed += (n + 15) & ~static_cast<SIZE_T>(15);
    return p;
}

void PutJump(BYTE* at, const void* to)  // 14 bytes on x64, 5 on x86
{
#ifdef _WIN64
    at[0] = 0xFF, at[1] = 0x25;
    std::memset(at + 2, 0, 4);
    std::memcpy(at + 6, &to, 8);
#else
    at[0] = 0xE9;
    INT32 rel = static_cast<INT32>(static_cast<const BYTE*>(to) - (at + 5));
    std::memcpy(at + 1, &rel, 4);
#endif
}

template <class Fn>
bool Hook(HMODULE ntdll, const char* name, Fn hook, Fn* real)
{
    BYTE* target = reinterpret_cast<BYTE*>(GetProcAddress(ntdll, name));
    SIZE_T len = target ? PrologueLength(target) : 0;
    if (!len) {
        Report("not installed: %s begins with code it does not know", name);
        return false;
    }
    BYTE* trampoline = Code(len + 14);
    std::memcpy(trampoline, target, len);
    PutJump(trampoline + len, target + len);
    *real = reinterpret_cast<Fn>(reinterpret_cast<void*>(trampoline));
#ifdef _WIN64
    BYTE* jump = Code(14);  // within reach of a 32-bit displacement from ntdll
    PutJump(jump, reinterpret_cast<void*>(hook));
#else
    const void* jump = reinterpret_cast<void*>(hook);
#endif
    DWORD old;
    if (!VirtualProtect(target, len, PAGE_EXECUTE_READWRITE, &old)) return false;
    BYTE patch[16];
    std::memcpy(patch, target, len);
    patch[0] = 0xE9;
    INT32 rel = static_cast<INT32>(static_cast<const BYTE*>(jump) - (target + 5));
    std::memcpy(patch + 1, &rel, 4);
    std::memcpy(target, patch, len);
    VirtualProtect(target, len, old, &old);
    FlushInstructionCache(GetCurrentProcess(), target, len);
    return true;
}

bool Listed()
{
    char list[1024], path[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("PENDRO_GUARD_HEAP", list, sizeof list);
    if (!n || n >= sizeof list || !GetModuleFileNameA(nullptr, path, sizeof path)) return false;
    const char* base = std::strrchr(path, '\\');
    base = base ? base + 1 : path;
    for (char* name = std::strtok(list, " "); name; name = std::strtok(nullptr, " "))
        if (lstrcmpiA(name, base) == 0) return true;
    return false;
}

void Install()
{
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (!ntdll || !Listed()) return;
    // Less where the address space has no such hole (a 32-bit process).
    for (SIZE_T pages = kRegionPages; !g_region && pages >= kRegionPages / 8; pages /= 2) {
        g_region = static_cast<char*>(VirtualAlloc(nullptr, pages * kPage, MEM_RESERVE, PAGE_NOACCESS));
        if (g_region) g_regionPages = pages;
    }
    // The code page lies within 2 GiB of ntdll, so that a 5-byte jump reaches it.
    for (SIZE_T i = 1; !g_code && i < 0x8000; ++i)
        g_code = static_cast<BYTE*>(VirtualAlloc(reinterpret_cast<BYTE*>(ntdll) - i * 0x10000, kPage,
                                                 MEM_RESERVE | MEM_COMMIT, PAGE_EXECUTE_READWRITE));
    if (!g_region || !g_code) {
        Report("not installed: no room for its region");
        return;
    }
    g_fill = static_cast<BYTE>(GetTickCount() * 2654435761u >> 24) | 1;
    g_shuttingDown = reinterpret_cast<BOOLEAN(WINAPI*)()>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlDllShutdownInProgress")));
    AddVectoredExceptionHandler(1, OnFault);
    // Those that look at a block first, so that none of ours ever meets Wine's own.
    bool ok = Hook(ntdll, "RtlSizeHeap", GuardSize, &realSize) &&
              Hook(ntdll, "RtlValidateHeap", GuardValidate, &realValidate) &&
              Hook(ntdll, "RtlGetUserInfoHeap", GuardGetUserInfo, &realGetUserInfo) &&
              Hook(ntdll, "RtlSetUserValueHeap", GuardSetUserValue, &realSetUserValue) &&
              Hook(ntdll, "RtlSetUserFlagsHeap", GuardSetUserFlags, &realSetUserFlags) &&
              Hook(ntdll, "RtlReAllocateHeap", GuardReAllocate, &realReAllocate) &&
              Hook(ntdll, "RtlFreeHeap", GuardFree, &realFree) &&
              Hook(ntdll, "RtlAllocateHeap", GuardAllocate, &realAllocate);
    if (ok) Note("active, new blocks filled with 0x%02x", g_fill);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void*)
{
    if (reason == DLL_PROCESS_ATTACH) Install();
    return TRUE;
}
