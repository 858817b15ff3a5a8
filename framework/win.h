// <windows.h> without the A/W macros that collide with the framework's method
// names; the program calls the ANSI functions by their full names.
#pragma once
#include <windows.h>
#undef LoadString
#undef LoadBitmap
#undef MessageBox
#undef GetWindowText
#undef SetWindowText
#undef SendMessage
#undef PostMessage
#undef GetObject

// A function of a DLL the process has already loaded, or null where this
// system lacks it: what only later versions have is looked up, not imported.
template <class F>
F SystemFunction(const char* dll, const char* name)
{
    HMODULE module = GetModuleHandleA(dll);
    return module ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}
