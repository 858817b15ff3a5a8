// A shell link on the current user's desktop.
#pragma once

// linkName is the file name without folder and without ".lnk"; arguments,
// workingDirectory and description may be null (not set).
bool CreateDesktopShortcut(const char* target, const char* arguments, const char* linkName,
                           const char* workingDirectory, const char* description);
