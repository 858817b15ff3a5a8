// The yardstick for start-up: the least a dialog program does to show one
// modeless dialog from a template and wait for input.
#include <windows.h>

#include "baseline.h"

#ifdef BASELINE_WITH_IMPORTS
// The second yardstick also loads the system libraries the dialer imports, so
// that their share of the start-up can be told apart from the dialer's own.
#include <objbase.h>
#include <shlobj.h>
void* volatile g_imports[] = {reinterpret_cast<void*>(&SHGetSpecialFolderLocation),
                              reinterpret_cast<void*>(&CoInitialize), reinterpret_cast<void*>(&RegOpenKeyExA),
                              reinterpret_cast<void*>(&CreateCompatibleDC)};
#endif

static INT_PTR CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_CLOSE || (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL)) {
        DestroyWindow(hwnd);
        return TRUE;
    }
    if (message == WM_DESTROY) PostQuitMessage(0);
    return message == WM_INITDIALOG;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    HWND dlg = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_BASELINE), nullptr, Proc, 0);
    if (!dlg) return 1;
    ShowWindow(dlg, SW_SHOW);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (IsDialogMessageA(dlg, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
