// Entry point of a program built on the framework.
#include <cstdlib>

#include "afxwin.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    return AfxWinMain(instance, __argc, __argv);
}
