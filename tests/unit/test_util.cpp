#include "test_util.h"

#include <shlwapi.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace testutil {

void DeleteKey(const char* path) { SHDeleteKeyA(HKEY_CURRENT_USER, path); }

bool KeyExists(const char* path)
{
    HKEY k;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
    RegCloseKey(k);
    return true;
}

RegValue ReadValue(const char* path, const char* name)
{
    RegValue v;
    HKEY k;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &k) != ERROR_SUCCESS) return v;
    DWORD size = 0;
    if (RegQueryValueExA(k, name, nullptr, &v.type, nullptr, &size) == ERROR_SUCCESS) {
        v.data.resize(size);
        if (RegQueryValueExA(k, name, nullptr, &v.type, reinterpret_cast<BYTE*>(v.data.data()), &size) ==
            ERROR_SUCCESS) {
            v.exists = true;
            v.data.resize(size);
        }
    }
    RegCloseKey(k);
    return v;
}

void WriteValue(const char* path, const char* name, DWORD type, const std::string& data)
{
    HKEY k;
    RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr);
    RegSetValueExA(k, name, 0, type, reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()));
    RegCloseKey(k);
}

bool InCodePage(const char* utf8, std::string& out)
{
    wchar_t wide[1024];
    char ansi[2048];
    BOOL lost = FALSE;
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, 1024);
    if (n <= 0 || WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, ansi, sizeof ansi, nullptr, &lost) <= 0 || lost)
        return false;
    out = ansi;
    return true;
}

std::vector<std::string> ValueNames(const char* path)
{
    std::vector<std::string> names;
    HKEY k;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &k) != ERROR_SUCCESS) return names;
    char name[16384];
    for (DWORD i = 0;; ++i) {
        DWORD len = sizeof name;
        if (RegEnumValueA(k, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, len);
    }
    RegCloseKey(k);
    return names;
}

std::string Multi(std::initializer_list<const char*> strings)
{
    std::string out;
    for (const char* s : strings) {
        out += s;
        out += '\0';
    }
    out += '\0';
    return out;
}

void ResetSim()
{
    rassim::ResetAll();
    rassim::Session s;
    s.state().hangupLatencyMs = 20;
    s.Commit();
}

rassim::Entry& AddEntry(rassim::State& s, const std::string& name, const std::string& phone,
                        const std::string& deviceType)
{
    // No phone-book can hold a name the service refuses: a test that wants
    // one tests what cannot happen.
    if (!rassim::ValidEntryName(name.c_str(), true)) {
        std::fprintf(stderr, "test error: no phone-book entry can be named \"%s\"\n", name.c_str());
        std::abort();
    }
    s.entries.emplace_back();
    rassim::Entry& e = s.entries.back();
    e.name = name;
    e.phone = phone;
    e.deviceType = deviceType;
    e.deviceName = "Modem of " + name.substr(0, 100);  // a device each, unless a test shares one
    return e;
}

uint32_t AddConnection(rassim::State& s, const std::string& entry, const std::string& deviceType,
                       const std::string& deviceName, DWORD state)
{
    rassim::Conn c;
    c.handle = s.nextHandle++;
    c.entry = entry;
    c.deviceType = deviceType;
    c.deviceName = deviceName;
    c.state = state;
    s.conns.push_back(c);
    return c.handle;
}

std::vector<std::string> JournalLines(const std::string& fn)
{
    std::vector<std::string> out;
    std::istringstream in(rassim::ReadJournal());
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string stamp, name;
        words >> stamp >> name;
        if (fn.empty() || name == fn) out.push_back(line);
    }
    return out;
}

std::string WinPath(const std::string& unixPath)
{
    if (unixPath.size() > 1 && unixPath[1] == ':') return unixPath;
    std::string p = "Z:" + unixPath;
    for (char& c : p)
        if (c == '/') c = '\\';
    return p;
}

DWORD Run(const std::string& commandLine, std::string* output, DWORD timeoutMs)
{
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    CreatePipe(&readEnd, &writeEnd, &sa, 0);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = si.hStdError = writeEnd;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi{};
    // Wine now and then refuses a process start with an internal error: try again.
    BOOL started = FALSE;
    for (int attempt = 0; attempt < 3 && !started; ++attempt) {
        std::string cmd = commandLine;
        started = CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
        if (!started) Sleep(300);
    }
    if (!started) {
        CloseHandle(readEnd);
        CloseHandle(writeEnd);
        return 0xFFFFFFFF;
    }
    CloseHandle(writeEnd);
    // Read while it runs, not to the pipe's end: a process it starts (Wine's
    // desktop, for the first window of the prefix) may keep the pipe open.
    std::string out;
    char buf[4096];
    DWORD start = GetTickCount(), got = 0, avail = 0;
    for (bool exited = false;;) {
        while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &avail, nullptr) && avail &&
               ReadFile(readEnd, buf, sizeof buf, &got, nullptr) && got)
            out.append(buf, got);
        if (exited || GetTickCount() - start > timeoutMs) break;
        exited = WaitForSingleObject(pi.hProcess, 10) == WAIT_OBJECT_0;
    }
    CloseHandle(readEnd);
    DWORD code = 0xFFFFFFFE;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    if (output) *output = out;
    return code;
}

static std::string HeapLogPath()
{
    const char* log = std::getenv("PENDRO_WINE_LOG");
    return log && *log ? WinPath(log) : std::string();
}

long long HeapLogSize()
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    std::string path = HeapLogPath();
    if (path.empty() || !GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Wine lets the thread that ends a process take a lock that a thread it has
// just killed was holding, and says so in that thread: "... is shutting down,
// returning STATUS_SUCCESS". A heap that the killed thread was changing is
// then validated half-changed; what that thread's validation reports after
// the line is Wine's doing, not a write of the program's, which the page heap
// catches at the instruction. Those reports alone are set aside.
std::string HeapErrorsIn(const std::string& log, const std::vector<DWORD>& pids)
{
    std::string found;
    std::vector<std::pair<unsigned long, unsigned long>> tookDeadLocks;
    for (size_t at = 0; at < log.size();) {
        size_t end = log.find('\n', at);
        end = end == std::string::npos ? log.size() : end + 1;
        std::string line = log.substr(at, end - at);
        at = end;
        // "pid:tid:class:channel:function ..." with both ids in hexadecimal
        char* rest = nullptr;
        unsigned long pid = std::strtoul(line.c_str(), &rest, 16);
        unsigned long tid = *rest == ':' ? std::strtoul(rest + 1, nullptr, 16) : 0;
        std::pair<unsigned long, unsigned long> thread{pid, tid};
        if (line.find(":warn:sync:RtlpWaitForCriticalSection") != std::string::npos &&
            line.find("is shutting down, returning STATUS_SUCCESS") != std::string::npos)
            tookDeadLocks.push_back(thread);
        if (line.find(":err:heap:") == std::string::npos) continue;
        bool setAside = line.find(":err:heap:guard ") == std::string::npos &&
                        std::find(tookDeadLocks.begin(), tookDeadLocks.end(), thread) != tookDeadLocks.end();
        for (DWORD p : pids)
            if (p == pid && !setAside) found += line;
    }
    return found;
}

std::string HeapErrors(const std::vector<DWORD>& pids, long long fromOffset)
{
    std::string path = HeapLogPath(), log;
    FILE* f = path.empty() ? nullptr : std::fopen(path.c_str(), "rb");
    if (!f) return log;
    _fseeki64(f, fromOffset, SEEK_SET);
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) log.append(buf, n);
    std::fclose(f);
    return HeapErrorsIn(log, pids);
}

std::string RassimCtl() { return "\"" + WinPath(RASSIMCTL_EXE) + "\""; }

double UnixCpuMs(const char* commandLinePart)
{
    WIN32_FIND_DATAA fd;
    HANDLE find = FindFirstFileA("Z:\\proc\\*", &fd);
    if (find == INVALID_HANDLE_VALUE) return -1;
    double result = -1;
    auto read = [](const std::string& path) {
        std::string text;
        HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (f == INVALID_HANDLE_VALUE) return text;
        char buf[4096];
        DWORD got = 0;
        while (ReadFile(f, buf, sizeof buf, &got, nullptr) && got) text.append(buf, got);
        CloseHandle(f);
        return text;
    };
    do {
        if (!std::isdigit(static_cast<unsigned char>(fd.cFileName[0]))) continue;
        std::string dir = std::string("Z:\\proc\\") + fd.cFileName;
        std::string cmd = read(dir + "\\cmdline");
        if (cmd.find(commandLinePart) == std::string::npos || cmd.find("bench") != std::string::npos ||
            cmd.find("_tests") != std::string::npos)
            continue;
        std::string stat = read(dir + "\\stat");
        size_t p = stat.rfind(')');
        if (p == std::string::npos) continue;
        std::istringstream fields(stat.substr(p + 2));
        std::string f;
        double ticks = 0;
        for (int i = 3; i <= 15 && fields >> f; ++i)
            if (i == 14 || i == 15) ticks += std::atof(f.c_str());  // utime, stime
        result = ticks * 10.0;  // USER_HZ is 100
        break;
    } while (FindNextFileA(find, &fd));
    FindClose(find);
    return result;
}

static void PatchSlot(void** slot, void* value)
{
    DWORD old = 0;
    VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &old);
    *slot = value;
    VirtualProtect(slot, sizeof(void*), old, &old);
}

ImportHook::ImportHook(const char* dll, const char* function, void* replacement, void** original)
{
    m_slots.reserve(8);
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const auto& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); d->Name; ++d) {
        if (lstrcmpiA(reinterpret_cast<char*>(base + d->Name), dll) != 0) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
        auto* addresses = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++addresses) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<char*>(byName->Name), function) != 0) continue;
            void** slot = reinterpret_cast<void**>(&addresses->u1.Function);
            m_original = *slot;
            if (original) *original = m_original;
            PatchSlot(slot, replacement);
            m_slots.push_back(slot);
        }
    }
}

ImportHook::~ImportHook()
{
    for (void** slot : m_slots) PatchSlot(slot, m_original);
}

decltype(&RegEnumValueA) realRegEnumValueA;

LONG WINAPI RegEnumValueFailingAtSecond(HKEY key, DWORD index, LPSTR name, LPDWORD nameLen, LPDWORD reserved,
                                        LPDWORD type, LPBYTE data, LPDWORD dataLen)
{
    if (index == 1) return ERROR_ACCESS_DENIED;
    return realRegEnumValueA(key, index, name, nameLen, reserved, type, data, dataLen);
}

}  // namespace testutil
