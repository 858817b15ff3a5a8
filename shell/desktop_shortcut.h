// A shell link on the current user's desktop.
#pragma once

// linkName is the file name without folder and without ".lnk"; arguments,
// workingDirectory and description may be null (not set).
bool CreateDesktopShortcut(const char* target, const char* arguments, const char* linkName,
                           const char* workingDirectory, const char* description);

// A link to this program, started in its own folder. On the NT family every
// path is taken wide, so a folder named outside the ANSI code page stays
// whole; Windows 95, 98 and ME take the ANSI path above. False when any step
// fails, reading the program's own path included.
bool CreateDesktopShortcutToSelf(const char* arguments, const char* linkName);
