#include "sim_state.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace rassim {

namespace {
const char* kMutexName = "rassim.state.lock";

std::string ReadFile(const std::string& path)
{
    std::string out;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    std::fclose(f);
    return out;
}

void WriteFile(const std::string& path, const std::string& text)
{
    std::string tmp = path + ".tmp";
    FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f) return;
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    MoveFileExA(tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

class Lock {
public:
    Lock() : m_mutex(CreateMutexA(nullptr, FALSE, kMutexName)) { WaitForSingleObject(m_mutex, INFINITE); }
    ~Lock()
    {
        ReleaseMutex(m_mutex);
        CloseHandle(m_mutex);
    }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

private:
    HANDLE m_mutex;
};
}  // namespace

int64_t NowMs()
{
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    ULARGE_INTEGER u;
    u.LowPart = ft.dwLowDateTime;
    u.HighPart = ft.dwHighDateTime;
    return static_cast<int64_t>(u.QuadPart / 10000);
}

std::string Dir()
{
    char win[MAX_PATH] = "";
    GetWindowsDirectoryA(win, MAX_PATH);
    std::string dir = std::string(win) + "\\rassim";
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

static std::string StatePath() { return Dir() + "\\state.txt"; }
static std::string JournalPath() { return Dir() + "\\journal.txt"; }

Entry* State::FindEntry(const std::string& name)
{
    for (auto& e : entries)
        if (e.name == name) return &e;
    return nullptr;
}

Conn* State::FindConn(uint32_t handle)
{
    for (auto& c : conns)
        if (c.handle == handle) return &c;
    return nullptr;
}

void State::RemoveConn(uint32_t handle)
{
    for (size_t i = 0; i < conns.size(); ++i)
        if (conns[i].handle == handle) {
            conns.erase(conns.begin() + static_cast<long>(i));
            return;
        }
}

void State::Reap(int64_t now)
{
    for (size_t i = 0; i < conns.size();) {
        if (conns[i].hangupAt && conns[i].hangupAt <= now) conns.erase(conns.begin() + static_cast<long>(i));
        else ++i;
    }
}

uint32_t State::CheckFault(const std::string& fn, bool* setHandle)
{
    auto it = faults.find(fn);
    if (it == faults.end()) return 0;
    Fault& f = it->second;
    ++f.calls;
    countersChanged = true;
    if (setHandle) *setHandle = f.setHandle;
    if (f.nth == 0 || f.calls == f.nth) return f.code;
    return 0;
}

Session::Session() : m_mutex(CreateMutexA(nullptr, FALSE, kMutexName))
{
    WaitForSingleObject(m_mutex, INFINITE);
    m_state = Parse(ReadFile(StatePath()));
    m_state.Reap(NowMs());
}

Session::~Session()
{
    if (m_dirty || m_state.countersChanged) WriteFile(StatePath(), Serialize(m_state));
    ReleaseMutex(m_mutex);
    CloseHandle(m_mutex);
}

std::string Serialize(const State& s)
{
    std::ostringstream o;
    o << "# simulated remote-access service: phonebook, scenarios and connections\n";
    o << "[config]\nhangup_latency_ms=" << s.hangupLatencyMs << "\ndelete_password_on_failure="
      << (s.deletePasswordOnFailure ? 1 : 0) << "\nnext_handle=" << s.nextHandle << "\n";
    for (const auto& e : s.entries) {
        o << "[entry " << e.name << "]\nphone=" << e.phone << "\ndevicetype=" << e.deviceType
          << "\ndevicename=" << e.deviceName << "\nuser=" << e.user << "\npassword=" << e.password
          << "\ndomain=" << e.domain
          // A password set without the flag (as tests do) is a saved one.
          << "\npassword_saved=" << (e.passwordSaved || !e.password.empty() ? 1 : 0) << "\nalternates=" << e.alternates
          << "\nattempts_made=" << e.attemptsMade << "\n";
        if (e.checkPassword) o << "accept_password=" << e.acceptPassword << "\n";
        for (const auto& sc : e.scripts) o << "script=" << sc << "\n";
    }
    for (const auto& c : s.conns) {
        o << "[conn " << c.handle << "]\nentry=" << c.entry << "\ndevicetype=" << c.deviceType
          << "\ndevicename=" << c.deviceName << "\nnumber=" << c.number << "\nstate=" << c.state
          << "\nerror=" << c.error << "\nhangup_at=" << c.hangupAt << "\nowner=" << c.ownerPid << "\n";
    }
    for (const auto& [fn, f] : s.faults) {
        o << "[fault " << fn << "]\ncode=" << f.code << "\nnth=" << f.nth << "\ncalls=" << f.calls
          << "\nset_handle=" << (f.setHandle ? 1 : 0) << "\n";
    }
    return o.str();
}

static long long Num(const std::string& v) { return std::strtoll(v.c_str(), nullptr, 0); }

State Parse(const std::string& text)
{
    State s;
    std::istringstream in(text);
    std::string line;
    enum { kNone, kConfig, kEntry, kConn, kFault } section = kNone;
    std::string faultName;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[' && line.back() == ']') {
            std::string head = line.substr(1, line.size() - 2);
            if (head == "config") section = kConfig;
            else if (head.rfind("entry ", 0) == 0) {
                section = kEntry;
                s.entries.emplace_back();
                s.entries.back().name = head.substr(6);
            } else if (head.rfind("conn ", 0) == 0) {
                section = kConn;
                s.conns.emplace_back();
                s.conns.back().handle = static_cast<uint32_t>(Num(head.substr(5)));
            } else if (head.rfind("fault ", 0) == 0) {
                section = kFault;
                faultName = head.substr(6);
                s.faults[faultName] = Fault{};
            } else section = kNone;
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string k = line.substr(0, eq), v = line.substr(eq + 1);
        switch (section) {
        case kConfig:
            if (k == "hangup_latency_ms") s.hangupLatencyMs = static_cast<int>(Num(v));
            else if (k == "delete_password_on_failure") s.deletePasswordOnFailure = Num(v) != 0;
            else if (k == "next_handle") s.nextHandle = static_cast<uint32_t>(Num(v));
            break;
        case kEntry: {
            Entry& e = s.entries.back();
            if (k == "phone") e.phone = v;
            else if (k == "devicetype") e.deviceType = v;
            else if (k == "devicename") e.deviceName = v;
            else if (k == "user") e.user = v;
            else if (k == "password") e.password = v;
            else if (k == "password_saved") e.passwordSaved = Num(v) != 0;
            else if (k == "domain") e.domain = v;
            else if (k == "alternates") e.alternates = static_cast<int>(Num(v));
            else if (k == "attempts_made") e.attemptsMade = static_cast<int>(Num(v));
            else if (k == "accept_password") {
                e.acceptPassword = v;
                e.checkPassword = true;
            } else if (k == "script") e.scripts.push_back(v);
            break;
        }
        case kConn: {
            Conn& c = s.conns.back();
            if (k == "entry") c.entry = v;
            else if (k == "devicetype") c.deviceType = v;
            else if (k == "devicename") c.deviceName = v;
            else if (k == "number") c.number = v;
            else if (k == "state") c.state = static_cast<uint32_t>(Num(v));
            else if (k == "error") c.error = static_cast<uint32_t>(Num(v));
            else if (k == "hangup_at") c.hangupAt = Num(v);
            else if (k == "owner") c.ownerPid = static_cast<uint32_t>(Num(v));
            break;
        }
        case kFault: {
            Fault& f = s.faults[faultName];
            if (k == "code") f.code = static_cast<uint32_t>(Num(v));
            else if (k == "nth") f.nth = static_cast<int>(Num(v));
            else if (k == "calls") f.calls = static_cast<int>(Num(v));
            else if (k == "set_handle") f.setHandle = Num(v) != 0;
            break;
        }
        case kNone:
            break;
        }
    }
    return s;
}

const char kSavedPasswordPlaceholder[] = "****************";

bool ValidEntryName(const char* name, bool nt5)
{
    if (!name || !*name) return false;
    size_t n = std::strlen(name);
    if (n > 256 || (nt5 && name[0] == '.')) return false;
    bool letterOrDigit = false;
    for (size_t i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        // The service takes the name as characters of the ANSI code page: the
        // second byte of a double-byte character is no backslash or bar.
        if (IsDBCSLeadByte(c) && name[i + 1]) {
            letterOrDigit = true;
            ++i;
            continue;
        }
        if (c < 0x20 || std::strchr("|><?*\\/:", c)) return false;
        // A byte of a multibyte character counts as a letter.
        if (c >= 0x80 || IsCharAlphaNumericA(static_cast<CHAR>(c))) letterOrDigit = true;
    }
    return letterOrDigit;
}

bool IsNt5()
{
    OSVERSIONINFOA v{};
    v.dwOSVersionInfoSize = sizeof v;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExA(&v)) return true;
#pragma GCC diagnostic pop
    return v.dwPlatformId == VER_PLATFORM_WIN32_NT && v.dwMajorVersion >= 5;
}

std::string DefaultPhonebook()
{
    std::string path = Dir() + "\\rasphone.pbk";
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (FILE* f = std::fopen(path.c_str(), "wb")) std::fclose(f);
    }
    return path;
}

std::string Quote(const std::string& v)
{
    std::string o = "\"";
    for (char c : v) {
        if (c == '"' || c == '\\') o += '\\';
        o += c;
    }
    return o + "\"";
}

void Journal(const std::string& fn, const std::vector<std::pair<std::string, std::string>>& fields)
{
    Lock lock;
    std::string line = std::to_string(NowMs()) + " " + fn;
    for (const auto& [k, v] : fields) line += " " + k + "=" + Quote(v);
    line += "\n";
    FILE* f = std::fopen(JournalPath().c_str(), "ab");
    if (!f) return;
    std::fwrite(line.data(), 1, line.size(), f);
    std::fclose(f);
}

std::string ReadJournal()
{
    Lock lock;
    return ReadFile(JournalPath());
}

void ResetAll()
{
    Lock lock;
    DeleteFileA(StatePath().c_str());
    DeleteFileA(JournalPath().c_str());
}

}  // namespace rassim
