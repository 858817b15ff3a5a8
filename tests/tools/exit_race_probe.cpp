// A probe of Wine, not of the program: one thread works the process heap
// while the main thread ends the process at a moment that differs from run to
// run, as the dialer ends itself once connected while the remote-access
// service's thread may still be inside a heap call. Wine kills that thread,
// then lets the ending thread take the heap's lock anyway ("is shutting down,
// returning STATUS_SUCCESS") and, with the heap validated, reports the
// half-changed heap it finds. scripts/probe-exit-race.sh runs it.
#include <windows.h>

static DWORD WINAPI Churn(void* arg)
{
    unsigned seed = static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(arg));
    for (;;) {
        seed = seed * 1103515245u + 12345u;
        HeapFree(GetProcessHeap(), 0, HeapAlloc(GetProcessHeap(), 0, 16 + (seed >> 16) % 2000));
    }
}

int main()
{
    unsigned seed = GetTickCount() ^ GetCurrentProcessId();
    HANDLE t = CreateThread(nullptr, 0, Churn, reinterpret_cast<void*>(static_cast<ULONG_PTR>(seed)), 0, nullptr);
    if (t) CloseHandle(t);
    Sleep(1 + seed % 20);
    ExitProcess(0);
}
