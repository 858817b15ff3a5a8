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
