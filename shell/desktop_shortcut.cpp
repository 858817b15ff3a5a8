#include "desktop_shortcut.h"

#include <cstring>

#include "win.h"
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "handles.h"

namespace {
// Failure codes raised inside CreateDesktopShortcut; each says what is held.
enum ShortcutFailure { kNoLink = 1, kNoPersistFile = 2, kLater = 3 };
}

bool CreateDesktopShortcut(const char* target, const char* arguments, const char* linkName,
                           const char* workingDirectory, const char* description)
{
    if (!target) return false;
    COleInit ole;
    IShellLinkA* link = nullptr;
    IPersistFile* file = nullptr;
    try {
        if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                    reinterpret_cast<void**>(&link))))
            throw kNoLink;
        if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) throw kNoPersistFile;

        char path[MAX_PATH] = "";
        LPITEMIDLIST items = nullptr;
        if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOPDIRECTORY, &items))) throw kLater;
        BOOL gotPath = SHGetPathFromIDListA(items, path);
        CoTaskMemFree(items);
        if (!gotPath) throw kLater;

        size_t folderLen = std::strlen(path);
        if (std::strlen(linkName) + folderLen + 6 > MAX_PATH) throw kLater;
        if (folderLen == 0) std::strcpy(path, "\\");
        else if (path[folderLen - 1] != '\\') std::strcat(path, "\\");
        // Checked above: folder, backslash, name, ".lnk" and NUL fit.
        std::strcat(path, linkName);
        std::strcat(path, ".lnk");

        if (FAILED(link->SetPath(target))) throw kLater;
        if (arguments) link->SetArguments(arguments);
        if (workingDirectory) link->SetWorkingDirectory(workingDirectory);
        if (description) link->SetDescription(description);

        wchar_t widePath[MAX_PATH];
        if (!MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, MAX_PATH)) throw kLater;
        if (FAILED(file->Save(widePath, TRUE))) throw kLater;
        // A name the file system cannot hold may be "saved" to nowhere (a colon
        // under Wine): only a link that is there counts.
        if (GetFileAttributesW(widePath) == INVALID_FILE_ATTRIBUTES) throw kLater;
        file->Release();
        link->Release();
        return true;
    } catch (ShortcutFailure failure) {
        if (failure == kLater) file->Release();
        if (failure >= kNoPersistFile) link->Release();
        return false;
    }
}
