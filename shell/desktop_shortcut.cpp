#include "desktop_shortcut.h"

#include <cstring>

#include "win.h"
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "handles.h"
#include "mbcs.h"

bool CreateDesktopShortcut(const char* target, const char* arguments, const char* linkName,
                           const char* workingDirectory, const char* description)
{
    if (!target || !linkName) return false;
    COleInit ole;  // declared first: the interfaces are released before it ends
    CComPtr<IShellLinkA> link;
    CComPtr<IPersistFile> file;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.Receive())))
        return false;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.Receive()))) return false;

    char path[MAX_PATH] = "";
    LPITEMIDLIST items = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOPDIRECTORY, &items))) return false;
    BOOL gotPath = SHGetPathFromIDListA(items, path);
    CoTaskMemFree(items);
    if (!gotPath) return false;

    size_t folderLen = std::strlen(path);
    if (std::strlen(linkName) + folderLen + 6 > MAX_PATH) return false;
    if (folderLen == 0) std::strcpy(path, "\\");
    else if (!MbsEndsWith(path, '\\')) std::strcat(path, "\\");
    // Checked above: folder, backslash, name, ".lnk" and NUL fit.
    std::strcat(path, linkName);
    std::strcat(path, ".lnk");

    if (FAILED(link->SetPath(target))) return false;
    if (arguments) link->SetArguments(arguments);
    if (workingDirectory) link->SetWorkingDirectory(workingDirectory);
    if (description) link->SetDescription(description);

    wchar_t widePath[MAX_PATH];
    if (!MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, MAX_PATH)) return false;
    if (FAILED(file->Save(widePath, TRUE))) return false;
    // A name the file system cannot hold may be "saved" to nowhere (a colon
    // under Wine): only a link that is there counts.
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}
