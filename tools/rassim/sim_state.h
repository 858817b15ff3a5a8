// State of the simulated remote-access service: phonebook, scenarios,
// connections, faults and the journal, kept in human-readable files of the
// Wine prefix and shared by every process under one named mutex.
#pragma once
#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace rassim {

struct Entry {
    std::string name;
    std::string phone, deviceType = "modem", deviceName = "Simulated Modem";
    std::string user, password, domain;
    bool passwordSaved = false;  // also for an empty password; false: none saved
    std::string acceptPassword;  // when set, a dial with another password fails with 691
    bool checkPassword = false;
    int alternates = 0;                // alternate numbers; each adds to the properties' size
    std::vector<std::string> scripts;  // one per attempt; the last one repeats
    int attemptsMade = 0;
};

struct Conn {
    uint32_t handle = 0;
    std::string entry, deviceType, deviceName, number;
    uint32_t state = 0;
    uint32_t error = 0;
    int64_t hangupAt = 0;  // ms since the epoch at which a requested hang-up completes
    uint32_t ownerPid = 0;
};

struct Fault {
    uint32_t code = 0;
    int nth = 0;  // 0: every call; n: only the n-th call
    int calls = 0;
    bool setHandle = false;  // RasDialA: fail, but hand out a connection handle
};

struct State {
    int hangupLatencyMs = 100;
    bool deletePasswordOnFailure = false;  // the Windows 2000 fault
    uint32_t nextHandle = 1;
    std::vector<Entry> entries;
    std::vector<Conn> conns;
    std::map<std::string, Fault> faults;

    Entry* FindEntry(const std::string& name);
    Conn* FindConn(uint32_t handle);
    void RemoveConn(uint32_t handle);
    // Drops connections whose hang-up has completed.
    void Reap(int64_t now);
    // Counts a call of fn and answers the code it must fail with, or 0.
    uint32_t CheckFault(const std::string& fn, bool* setHandle = nullptr);
    bool countersChanged = false;  // a fault's call counter moved: worth saving
};

// The names the real service refuses (ERROR_INVALID_NAME): empty, without a
// letter or digit, with one of | > < ? * \ / :, longer than 256 bytes, or (NT 5+)
// beginning with a period. No phone-book entry can have such a name.
bool ValidEntryName(const char* name, bool nt5);
// Windows 2000 and later, as the calling process is told.
bool IsNt5();
// The placeholder NT 5+ hands out instead of a saved password.
extern const char kSavedPasswordPlaceholder[];
// The simulation's default phone-book file; any other path must exist.
std::string DefaultPhonebook();

int64_t NowMs();
std::string Dir();  // C:\windows\rassim, created on demand

// Holds the cross-process lock, loads the state and saves it on Commit.
class Session {
public:
    Session();
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    State& state() { return m_state; }
    // Only a call that changes something rewrites the state file.
    void Commit() { m_dirty = true; }

private:
    HANDLE m_mutex;
    State m_state;
    bool m_dirty = false;
};

std::string Serialize(const State& s);
State Parse(const std::string& text);

// Journal: one line per call that dials or changes something.
void Journal(const std::string& fn, const std::vector<std::pair<std::string, std::string>>& fields);
std::string ReadJournal();
void ResetAll();

std::string Quote(const std::string& v);

}  // namespace rassim
