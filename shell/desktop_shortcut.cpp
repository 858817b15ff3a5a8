#include "desktop_shortcut.h"

#include <cstring>
#include <cwchar>

#include "win.h"
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "cstring.h"
#include "handles.h"
#include "mbcs.h"

namespace {

// The shell's link object, ANSI or wide, and its file interface.
template <class Link>
bool CreateLinkObject(REFIID iid, CComPtr<Link>& link, CComPtr<IPersistFile>& file)
{
    return SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, iid, link.Receive())) &&
           SUCCEEDED(link->QueryInterface(IID_IPersistFile, file.Receive()));
}

// The desktop folder's path, through SHGetPathFromIDListA or its wide twin.
template <class Char>
bool DesktopPath(BOOL(WINAPI* pathFromIDList)(LPCITEMIDLIST, Char*), Char* path)
{
    LPITEMIDLIST items = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOPDIRECTORY, &items))) return false;
    BOOL gotPath = pathFromIDList(items, path);
    CoTaskMemFree(items);
    return gotPath != FALSE;
}

}  // namespace

bool CreateDesktopShortcut(const char* target, const char* arguments, const char* linkName,
                           const char* workingDirectory, const char* description)
{
    if (!target || !linkName) return false;
    COleInit ole;  // declared first: the interfaces are released before it ends
    CComPtr<IShellLinkA> link;
    CComPtr<IPersistFile> file;
    char path[MAX_PATH] = "";
    if (!CreateLinkObject(IID_IShellLinkA, link, file) || !DesktopPath(SHGetPathFromIDListA, path)) return false;

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

namespace {

// The wide functions, looked up: Windows 98 has only failing stubs of them.
struct WideShell {
    DWORD(WINAPI* getModuleFileName)(HMODULE, LPWSTR, DWORD) =
        SystemFunction<DWORD(WINAPI*)(HMODULE, LPWSTR, DWORD)>("kernel32.dll", "GetModuleFileNameW");
    DWORD(WINAPI* getFileAttributes)(LPCWSTR) = SystemFunction<DWORD(WINAPI*)(LPCWSTR)>("kernel32.dll", "GetFileAttributesW");
    BOOL(WINAPI* getPathFromIDList)(LPCITEMIDLIST, LPWSTR) =
        SystemFunction<BOOL(WINAPI*)(LPCITEMIDLIST, LPWSTR)>("shell32.dll", "SHGetPathFromIDListW");
    bool Usable() const
    {
        return !(GetVersion() & 0x80000000) && getModuleFileName && getFileAttributes && getPathFromIDList;
    }
};

// Text of the ANSI code page, appended to wide text in a buffer of that many characters.
bool AppendAnsi(wchar_t* buffer, size_t capacity, const char* text)
{
    size_t used = std::wcslen(buffer);
    return MultiByteToWideChar(CP_ACP, 0, text, -1, buffer + used, static_cast<int>(capacity - used)) > 0;
}

bool CreateWideShortcut(const WideShell& w, const char* arguments, const char* linkName)
{
    wchar_t self[MAX_PATH], folder[MAX_PATH], path[MAX_PATH] = L"";
    DWORD n = w.getModuleFileName(nullptr, self, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return false;  // cut short, or unterminated on XP
    std::wcscpy(folder, self);
    wchar_t* cut = std::wcsrchr(folder, L'\\');
    if (!cut) cut = std::wcsrchr(folder, L':');
    if (cut) cut[1] = 0;

    COleInit ole;  // declared first: the interfaces are released before it ends
    CComPtr<IShellLinkW> link;
    CComPtr<IPersistFile> file;
    if (!CreateLinkObject(IID_IShellLinkW, link, file) || !DesktopPath(w.getPathFromIDList, path)) return false;
    size_t len = std::wcslen(path);
    if (len == 0 || path[len - 1] != L'\\') {
        if (len + 1 >= MAX_PATH) return false;
        std::wcscat(path, L"\\");
    }
    if (!AppendAnsi(path, MAX_PATH, linkName) || std::wcslen(path) + 5 > MAX_PATH) return false;
    std::wcscat(path, L".lnk");

    if (FAILED(link->SetPath(self))) return false;
    if (arguments) {
        wchar_t args[INFOTIPSIZE] = L"";
        if (!AppendAnsi(args, INFOTIPSIZE, arguments) || FAILED(link->SetArguments(args))) return false;
    }
    if (cut) link->SetWorkingDirectory(folder);
    if (FAILED(file->Save(path, TRUE))) return false;
    return w.getFileAttributes(path) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

bool CreateDesktopShortcutToSelf(const char* arguments, const char* linkName)
{
    if (!linkName) return false;
    WideShell wide;
    if (wide.Usable()) return CreateWideShortcut(wide, arguments, linkName);
    char self[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return false;
    CString program(self);
    int cut = program.ReverseFind('\\');
    if (cut < 0) cut = program.ReverseFind(':');
    CString folder = cut >= 0 ? program.Left(cut + 1) : CString();
    return CreateDesktopShortcut(self, arguments, linkName, folder.IsEmpty() ? nullptr : folder.c_str(), nullptr);
}
