// A DLL planted beside the program or in its working directory under the name
// of a system library: if it is ever loaded, it leaves a mark.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        char path[MAX_PATH] = "";
        GetModuleFileNameA(self, path, MAX_PATH);
        HANDLE f = CreateFileA("C:\\planted-dll-loaded.txt", FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                               0, nullptr);
        if (f != INVALID_HANDLE_VALUE) {
            DWORD written;
            WriteFile(f, path, lstrlenA(path), &written, nullptr);
            WriteFile(f, "\r\n", 2, &written, nullptr);
            CloseHandle(f);
        }
    }
    return TRUE;
}
