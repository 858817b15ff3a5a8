// Entry point of a program built on the framework.
#include <cstdlib>

#include "afxwin.h"

// Whatever is loaded by name from here on comes from the system directory,
// never from the program's folder or the working directory, where anyone may
// have put a DLL of the same name. Looked up, since Windows 2000 has neither.
static void LoadLibrariesFromTheSystemOnly()
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (!kernel) return;
    using SetDefault = BOOL(WINAPI*)(DWORD);
    using SetDirectory = BOOL(WINAPI*)(LPCSTR);
    constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
    if (auto setDefault = reinterpret_cast<SetDefault>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories"))))
        setDefault(kSearchSystem32);
    if (auto setDirectory =
            reinterpret_cast<SetDirectory>(reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryA"))))
        setDirectory("");
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    LoadLibrariesFromTheSystemOnly();
    return AfxWinMain(instance, __argc, __argv);
}
